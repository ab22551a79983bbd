#include "platform/Background.h"

#include <QThreadPool>
#include <sys/resource.h>
#include <unistd.h>

namespace Background {

QThreadPool* pool()
{
    static QThreadPool* one = [] {
        auto* p = new QThreadPool; // lives as long as the process
        p->setMaxThreadCount(1);
        return p;
    }();
    return one;
}

void lowerThisThread()
{
    // Linux keeps a nice value per thread: PRIO_PROCESS with the thread's id.
    const id_t thread = id_t(gettid());
    if (getpriority(PRIO_PROCESS, thread) < 10)
        setpriority(PRIO_PROCESS, thread, 10);
}

} // namespace Background
