#pragma once

// Process-wide tuning of the C heap, made once at start-up.
namespace Heap {
// A database result of tens of thousands of rows takes some megabytes and is
// often read again in place of the last one: keep such blocks in the heap
// for reuse instead of handing them back to the kernel.
void keepLargeBlocks();
} // namespace Heap
