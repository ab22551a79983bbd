#include "mainwindow/AssistantLogic.h"

#include "lunar/LunarText.h"
#include "platform/Cp936.h"
#include "platform/Formats.h"

namespace AssistantLogic {

QString weekdayName(const QDate& date)
{
    static const char16_t digits[] = u"一二三四五六七";
    const int n = date.isValid() ? date.dayOfWeek() : 0;
    return n >= 1 && n <= 7 ? QString(QChar(digits[n - 1])) : QString();
}

QString todayNodeText(const QDate& today)
{
    return QStringLiteral("今天[星期") + weekdayName(today) + QStringLiteral("]");
}

QString tomorrowNodeText(const QDate& tomorrow)
{
    return QStringLiteral("明天[星期") + weekdayName(tomorrow) + QStringLiteral("]");
}

QString laterNodeText(const QDate& date)
{
    return Formats::dateText(date) + QStringLiteral("[星期") + weekdayName(date) +
           QStringLiteral("]");
}

QString withLunarDay(const QString& nodeText, const QDate& date,
                     const std::function<bool(const QString&)>& fits)
{
    const QString lunar = Lunar::dayCaption(date);
    if (lunar.isEmpty())
        return nodeText;
    const QString oneLine = nodeText + QStringLiteral(" · ") + lunar;
    return !fits || fits(oneLine) ? oneLine : nodeText + QLatin1Char('\n') + lunar;
}

QString workNoteCaption(const QDate& day, bool lunar)
{
    QString text = Formats::dateText(day);
    const QString lunarDay = lunar ? Lunar::dateText(day) : QString();
    if (!lunarDay.isEmpty())
        text += QLatin1Char(' ') + lunarDay;
    return QStringLiteral("工作笔记(") + text + QLatin1Char(')');
}

QString scheduleNodeText(const QTime& time, const QString& title)
{
    return Formats::timeText(time) + QStringLiteral(":  ") + title;
}

bool isMidnightTick(const QTime& now)
{
    return now < QTime(0, 0, 1);
}

int marqueeStep(int labelLeft, int labelWidth, int panelLeft, int panelWidth)
{
    if (labelLeft + labelWidth < panelLeft)
        labelLeft = panelLeft + panelWidth;
    return labelLeft - 5;
}

bool needsNewDay(const QTime& now, const QDate& today, const QDate& builtFor)
{
    return isMidnightTick(now) || (builtFor.isValid() && today != builtFor);
}

bool isDocked(int top)
{
    return top < Geometry::dockedBelow;
}

Dock dockStep(const QRect& frame, const QPoint& cursor)
{
    // Edges included: left <= x <= left + width, top <= y <= top + height.
    const bool inside = frame.left() <= cursor.x() && cursor.x() <= frame.left() + frame.width() &&
                        frame.top() <= cursor.y() && cursor.y() <= frame.top() + frame.height();
    using namespace Geometry;
    if (inside)
        return {openHeight,
                isDocked(frame.top()) ? std::optional<int>(dockedOpenTop) : std::nullopt};
    if (!isDocked(frame.top()))
        return {openHeight, std::nullopt};
    return {collapsedHeight, collapsedTop};
}

Width toggleWidth(int currentWidth)
{
    if (currentWidth == Geometry::wideWidth)
        return {Geometry::narrowWidth, QStringLiteral(">>"), QStringLiteral("展开工作笔记")};
    return {Geometry::wideWidth, QStringLiteral("<<"), QStringLiteral("收起工作笔记")};
}

QString wrapDetail(const QString& text)
{
    const QByteArray bytes = Cp936::encode(text);
    const QString indent(10, QLatin1Char(' '));
    QString out;
    int start = 0;
    bool first = true;
    while (start < bytes.size()) {
        // Walk whole characters up to the 20-byte mark; a character that
        // straddles it makes the piece 21 bytes. GB18030's four-byte
        // characters are walked whole too, so none is ever split.
        int end = start;
        while (end < bytes.size() && end - start < 20) {
            const uchar b = uchar(bytes[end]);
            int len = 1;
            if (b > 0x7F && end + 1 < bytes.size()) {
                const uchar b2 = uchar(bytes[end + 1]);
                len = (b2 >= 0x30 && b2 <= 0x39) ? 4 : 2;
            }
            end = qMin(int(bytes.size()), end + len);
        }
        if (!first)
            out += indent;
        out += Cp936::decode(bytes.mid(start, end - start)) + QLatin1Char('\r');
        first = false;
        start = end;
    }
    return out;
}

QString detailsText(const Schedule& s, bool lunar)
{
    const QChar cr(QLatin1Char('\r'));
    QString t = cr + QStringLiteral("日程标题: ") + wrapDetail(s.title);
    t += QStringLiteral("日程时间: ") + Formats::dateText(s.date) + QLatin1Char('[') +
         Formats::timeText(s.time) + QLatin1Char(']');
    const QString lunarDate = lunar ? Lunar::fullText(s.date) : QString();
    if (!lunarDate.isEmpty())
        t += cr + QStringLiteral("农    历: ") + lunarDate;
    if (!Codes::priorityCaption(s.yxj).isEmpty())
        t += cr + QStringLiteral("优 先 级: ") + Codes::priorityCaption(s.yxj);
    if (!Codes::statusCaption(s.ztFlag).isEmpty())
        t += cr + QStringLiteral("状    态: ") + Codes::statusCaption(s.ztFlag);
    t += cr + QStringLiteral("日程内容: ") + wrapDetail(s.content);
    t += cr;
    return t;
}

bool hoverIgnored(const QRect& frame, const QPoint& cursor)
{
    return cursor.y() > frame.top() + frame.height() - 50;
}

} // namespace AssistantLogic
