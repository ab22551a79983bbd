#include "views/ViewsLogic.h"

#include "platform/Database.h"
#include "platform/DayNumber.h"
#include "platform/Formats.h"
#include "shell/data/Schedules.h"

namespace ViewsLogic {

QString gridHeader(int column)
{
    switch (column) {
    case DateColumn:
        return QStringLiteral("日程日期");
    case TimeColumn:
        return QStringLiteral("日程时间");
    case TitleColumn:
        return QStringLiteral("日程标题");
    case ContentColumn:
        return QStringLiteral("日程内容");
    case StatusColumn:
        return QStringLiteral("日程状态");
    case PriorityColumn:
        return QStringLiteral("优先级");
    case NoteColumn:
        return QStringLiteral("备注");
    default:
        return QString();
    }
}

int gridWidth(int column)
{
    static const int widths[GridColumnCount] = {10, 70, 70, 200, 300, 70, 70, 150};
    return column >= 0 && column < GridColumnCount ? widths[column] : 0;
}

int timeColumnWidth(const std::function<int(const QString&)>& textWidth)
{
    // The cell's margins either side of its text.
    constexpr int margins = 8;
    // Minutes and seconds are drawn with the same digits: every minute of
    // every hour covers the widest of both.
    int widest = 0;
    for (int h = 0; h < 24; ++h)
        for (int m = 0; m < 60; ++m)
            widest = qMax(widest, textWidth(Formats::timeText(QTime(h, m, m))));
    return qMax(gridWidth(TimeColumn), widest + margins);
}

QString cellText(const DbSnapshot& rows, const ScheduleColumns& c, int row, int column)
{
    const auto text = [&](int col) {
        return rows.isNull(row, col) ? QString() : rows.text(row, col);
    };
    const auto code = [&](int col) {
        return rows.isNull(row, col) ? std::optional<int>() : rows.integer(row, col);
    };
    switch (column) {
    case DateColumn:
        return rows.isNull(row, c.rcDate)
                   ? QString()
                   : Formats::dateText(DayNumber::toDate(rows.dateTime(row, c.rcDate)));
    case TimeColumn:
        return rows.isNull(row, c.rcTime)
                   ? QString()
                   : Formats::timeText(DayNumber::toTime(rows.dateTime(row, c.rcTime)));
    case TitleColumn:
        return text(c.title);
    case ContentColumn:
        return text(c.content);
    case StatusColumn: {
        const std::optional<int> v = code(c.ztFlag);
        return v ? Codes::statusCaption(*v) : QString();
    }
    case PriorityColumn: {
        const std::optional<int> v = code(c.yxj);
        return v ? Codes::priorityCaption(*v) : QString();
    }
    case NoteColumn:
        return noteCellText(hasNote(rows, c, row));
    default:
        return QString();
    }
}

bool hasNote(const DbSnapshot& rows, const ScheduleColumns& c, int row)
{
    return rows.isNull(row, c.bz) || !rows.text(row, c.bz).isEmpty();
}

QString noteCellText(bool hasNote)
{
    return hasNote ? QStringLiteral("点击查看") : QStringLiteral("没有备注");
}

QColor noteCellColour(bool hasNote)
{
    return hasNote ? QColor(255, 0, 0) : QColor(0, 0, 0);
}

std::optional<int> purgeDays(int deleteRc, int oldrcDays)
{
    if (deleteRc != 1 || oldrcDays < 0)
        return std::nullopt;
    return oldrcDays;
}

HitButtons hitButtons(int recNo, int count)
{
    return HitButtons{recNo > 1, recNo >= 1 && recNo < count};
}

} // namespace ViewsLogic
