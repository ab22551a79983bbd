#pragma once

// The two flags that tie the windows together.
// refreshFlag: set to 1 by every command that changes schedules or settings;
// the main window's tick rebuilds the tree, reloads the marquee and clears it.
extern int refreshFlag;
// firstActivation: 1 from the main window's creation until the reminder
// window's first showing, which shows the day summary instead and clears it.
extern int firstActivation;

// The application title: message-box captions, the main window's caption and
// the name of the single-instance lock.
#define APP_TITLE QStringLiteral("时雀")
