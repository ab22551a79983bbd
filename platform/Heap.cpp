#include "platform/Heap.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace Heap {

void keepLargeBlocks()
{
#ifdef __GLIBC__
    // Left to mmap, each large result would come as fresh pages the kernel
    // must zero (a third of such a read's time); kept in the heap, the next
    // result reuses the last one's memory.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

} // namespace Heap
