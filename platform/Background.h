#pragma once

class QThreadPool;

// Work that must never take the processor from the windows, such as a sync
// round: the windows keep drawing on a busy machine.
namespace Background {
// A pool of one thread for such work, apart from the global pool.
QThreadPool* pool();
// Called first by each task of that pool: its thread yields to every thread
// of ordinary priority (a nice value of 10 for this thread alone; Qt's own
// priorities do nothing under Linux's ordinary scheduling). A thread cannot
// raise itself again, which is why the pool is its own.
void lowerThisThread();
} // namespace Background
