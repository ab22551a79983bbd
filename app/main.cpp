#include "app/Startup.h"
#include "platform/Heap.h"

int main(int argc, char** argv)
{
    Heap::keepLargeBlocks();
    return runAssistant(argc, argv);
}
