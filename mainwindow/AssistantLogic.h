#pragma once

#include "shell/data/Schedules.h"

#include <QDate>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QTime>
#include <functional>
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
// A date node's text with the lunar day and its marks after it, on its line
// while that fits (fits(text); no test: always), else on a line of its own:
// "明天[星期四] · 冬月初一", "2026/12/22[星期二]\n冬月十四 冬至". Outside the
// lunar calendar the text alone.
QString withLunarDay(const QString& nodeText, const QDate& date,
                     const std::function<bool(const QString&)>& fits = {});
// The work-note panel's caption: "工作笔记(2026/12/9)", or with the lunar
// day "工作笔记(2026/12/9 冬月初一)".
QString workNoteCaption(const QDate& day, bool lunar);

// Every tick in the first second of a day rebuilds the tree.
bool isMidnightTick(const QTime& now);

// The marquee label's next left (panel coordinates), given its width.
int marqueeStep(int labelLeft, int labelWidth, int panelLeft = -1, int panelWidth = 235);

// The window's outer sizes and places, as its layout writes them.
namespace Geometry {
constexpr int openHeight = 461;     // undocked, or docked with the cursor inside
constexpr int dockedOpenTop = -3;   // docked and open: the caption just off screen
constexpr int collapsedHeight = -3; // docked, cursor outside: the platform's minimum
constexpr int collapsedTop = -30;   // ...with only a strip left on screen
constexpr int dockedBelow = 2;      // a top less than this docks the window
constexpr int undockedTop = 3;      // showing from the tray undocks it here
constexpr int wideWidth = 466;      // with the work-note panel
constexpr int narrowWidth = 240;    // without it
} // namespace Geometry

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
    QString accessibleName; // what the button does next, for screen readers
};
Width toggleWidth(int currentWidth);

// Hover details: text in code-page-936 pieces of 20 bytes (21 when the 20th
// byte starts a two-byte character), each ending in CR, continuation pieces
// indented by ten blanks.
QString wrapDetail(const QString& text);
// With lunar, a line "农    历: 乙巳年 冬月初一" follows the time.
QString detailsText(const Schedule& s, bool lunar = false);
// The bottom 50 pixels of the window (and below) leave the details alone.
bool hoverIgnored(const QRect& frame, const QPoint& cursor);

// Midnight, or any later change of day (a suspend, a clock set forward):
// the tree shows another day than the one it was built for.
bool needsNewDay(const QTime& now, const QDate& today, const QDate& builtFor);
} // namespace AssistantLogic
