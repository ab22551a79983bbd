// The lunar captions of 73,000 consecutive dates (1901 on), as the tree
// would ask for them, beside the bare QDate::toString of the same dates in
// the short date format; and the calendar's one-time build at first use.
#include "lunar/LunarText.h"

#include <QDate>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>

namespace {
const int days = 73000;

template <typename F> double bestOf9(F f)
{
    double best = 1e300;
    for (int i = 0; i < 9; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

void printRow(const char* what, double ms, double bare)
{
    std::printf("%-44s %9.3f ms   bare %9.3f ms   ratio %5.2f\n", what, ms, bare, ms / bare);
}
} // namespace

int main()
{
    const QDate first(1901, 1, 1);
    QElapsedTimer t;
    t.start();
    const LunarDate probe = Lunar::fromSolar(first);
    std::printf("first use (builds the months, 1900-2099): %.3f ms\n", t.nsecsElapsed() / 1e6);
    if (!probe.isValid())
        return 1;

    const QString format = QStringLiteral("yyyy/M/d");
    long long sink = 0;
    double bare = 1e300, caption = 1e300, text = 1e300;
    for (int round = 0; round < 3; ++round) { // interleaved, so both meet the same load
        bare = std::min(bare, bestOf9([&] {
                            for (int i = 0; i < days; ++i)
                                sink += first.addDays(i).toString(format).size();
                        }));
        caption = std::min(caption, bestOf9([&] {
                               for (int i = 0; i < days; ++i)
                                   sink += Lunar::dayCaption(first.addDays(i)).size();
                           }));
        text = std::min(text, bestOf9([&] {
                            for (int i = 0; i < days; ++i)
                                sink += Lunar::dateText(Lunar::fromSolar(first.addDays(i))).size();
                        }));
    }
    std::printf("%d consecutive dates; best of 27 runs\n", days);
    printRow("lunar day and marks (dayCaption)", caption, bare);
    printRow("lunar day alone (dateText of fromSolar)", text, bare);
    std::printf("per date: caption %.0f ns, short date %.0f ns (checksum %lld)\n",
                caption * 1e6 / days, bare * 1e6 / days, sink);
    return 0;
}
