#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class DbSnapshot;
struct ScheduleColumns;

// The decisions of the views and note windows, apart from the windows.
namespace ViewsLogic {

// The columns of the browse and the result grid, the same in both.
enum GridColumn {
    FixedColumn,
    DateColumn,
    TimeColumn,
    TitleColumn,
    ContentColumn,
    StatusColumn,
    PriorityColumn,
    NoteColumn,
    GridColumnCount
};
QString gridHeader(int column); // the text of row 0
int gridWidth(int column);
// The time column as wide as the widest time of the day in the system's long
// format needs (under some locales "12:00:00 PM" does not fit the usual
// width), given how wide the grid's font draws a text. Never narrower than
// the usual width.
int timeColumnWidth(const std::function<int(const QString&)>& textWidth);

// The text of a schedule's cell in a grid. A value that is missing, or a
// code the captions do not cover, gives an empty cell; the note column gives
// its note text.
QString cellText(const DbSnapshot& rows, const ScheduleColumns& c, int row, int column);
// A schedule has a note unless its bz is the empty text: a bz without any
// value counts as one.
bool hasNote(const DbSnapshot& rows, const ScheduleColumns& c, int row);
QString noteCellText(bool hasNote);  // "点击查看" or "没有备注"
QColor noteCellColour(bool hasNote); // red or black

// The number of days of the purge, or nothing when no purge runs: only
// deleteRc 1 switches it on, and a negative age (no value the settings window
// writes) would reach today's and later schedules.
std::optional<int> purgeDays(int deleteRc, int oldrcDays);

// The paging of the search hits at a 1-based position among count hits.
struct HitButtons {
    bool prior = false;
    bool next = false;
};
HitButtons hitButtons(int recNo, int count);

} // namespace ViewsLogic
