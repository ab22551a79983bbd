#include "platform/Heap.h"
#include "tools/ics/Tool.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    Heap::keepLargeBlocks();
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return runIcsTool(arguments);
}
