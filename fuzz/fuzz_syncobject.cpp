// A calendar server's object on any bytes, as the sync reads and patches it:
// the schedule it shows, that schedule changed and written back into it, and
// for a series an occurrence changed and one removed. Nothing may crash or
// read out of bounds; a series patched once must stay as it is when the same
// changes are applied again (else every round would upload it anew).
#include "exchange/ScheduleObject.h"

#include <QCoreApplication>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray zone("Asia/Shanghai");
    const QString uid = QStringLiteral("fuzz");
    Schedule changed;
    changed.title = QStringLiteral("改过的");
    changed.date = QDate(2026, 3, 8);
    changed.time = QTime(10, 0);
    if (const std::optional<Schedule> s = Exchange::scheduleOf(text, zone)) {
        Schedule other = *s;
        other.title = changed.title;
        other.date = other.date.addDays(1);
        Exchange::objectOf(other, uid, text, zone);
    }
    if (Exchange::isRecurring(text)) {
        const QList<Exchange::Occurrence> edits{
            {QStringLiteral(":20260308T010000Z"), changed, true},
            {QStringLiteral(";VALUE=DATE:20260315"), std::nullopt, false}};
        const QByteArray once = Exchange::seriesObjectOf(text, uid, edits, zone);
        if (Exchange::seriesObjectOf(once, uid, edits, zone) != once) {
            std::fprintf(stderr, "fuzz_syncobject: a patched series changes again\n");
            std::abort();
        }
    }
    return 0;
}
