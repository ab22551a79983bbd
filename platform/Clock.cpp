#include "platform/Clock.h"

namespace {
std::function<QDateTime()>& source()
{
    static std::function<QDateTime()> s;
    return s;
}
} // namespace

QDateTime Clock::now()
{
    const auto& s = source();
    return s ? s() : QDateTime::currentDateTime();
}

void Clock::setNow(const QDateTime& fixed)
{
    source() = [fixed] {
        return fixed;
    };
}

void Clock::setSource(std::function<QDateTime()> s)
{
    source() = std::move(s);
}

void Clock::reset()
{
    source() = nullptr;
}
