#include "platform/Clock.h"

#include <optional>

namespace {
std::optional<QDateTime>& fixedNow()
{
    static std::optional<QDateTime> fixed;
    return fixed;
}
} // namespace

QDateTime Clock::now()
{
    const auto& fixed = fixedNow();
    return fixed ? *fixed : QDateTime::currentDateTime();
}

void Clock::setNow(const QDateTime& fixed)
{
    fixedNow() = fixed;
}

void Clock::reset()
{
    fixedNow().reset();
}
