#pragma once

#include <QDate>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QTime>
#include <optional>

// The main window's decisions, kept apart from the widgets so that each can
// be tested on its own.
namespace AssistantLogic {

// ISO weekday as one Chinese digit; Sunday is "七". Anything else: "".
QString weekdayName(const QDate& date);
QString todayNodeText(const QDate& today);
QString tomorrowNodeText(const QDate& tomorrow);
QString laterNodeText(const QDate& date); // short date format + "[星期…]"
QString scheduleNodeText(const QTime& time, const QString& title);

// Every tick in the first second of a day rebuilds the tree.
bool isMidnightTick(const QTime& now);

// The marquee label's next left (panel coordinates), given its width.
int marqueeStep(int labelLeft, int labelWidth, int panelLeft = -1, int panelWidth = 235);

// Top-edge docking: what the tick does to the window (frame geometry).
struct Dock {
    int height;
    std::optional<int> top;
    bool operator==(const Dock& o) const { return height == o.height && top == o.top; }
};
Dock dockStep(const QRect& frame, const QPoint& cursor);
bool isDocked(int top);

// Width toggle of the work-note panel.
struct Width {
    int width;
    QString caption;
};
Width toggleWidth(int currentWidth);

// Hover details: text in code-page-936 pieces of 20 bytes (21 when the 20th
// byte starts a two-byte character), each ending in CR, continuation pieces
// indented by ten blanks.
QString wrapDetail(const QString& text);
struct Schedule {
    QString title;
    QDate date;
    QTime time;
    int yxj = 0;
    int ztFlag = 1;
    QString content;
};
QString detailsText(const Schedule& s);
// The bottom 50 pixels of the window (and below) leave the details alone.
bool hoverIgnored(const QRect& frame, const QPoint& cursor);

QString statusCaption(int ztFlag); // "" for codes outside 1..4
QString priorityCaption(int yxj);  // "" for codes outside 0..2
} // namespace AssistantLogic
