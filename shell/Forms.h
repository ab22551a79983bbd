#pragma once

#include "shell/Application.h"

#include <QObject>
#include <QPalette>
#include <QWidget>
#include <functional>

// What every window of the program does the same way.
namespace Forms {
// Connects a handler through the guard: an error ends the handler with the
// default error box above the form, and never unwinds through the toolkit's
// signal code.
template <class Sender, class Signal, class Handler>
QMetaObject::Connection connect(Sender* sender, Signal signal, QWidget* form, Handler handler)
{
    return QObject::connect(sender, signal, form,
                            [form, handler] { runGuarded([&] { handler(); }, form); });
}

// One of the program's own forms (as opposed to its message boxes and the
// toolkit's dialogs): only these count when focus passes between windows.
// Call it once the form's controls are made: Tab and Shift+Tab then leave
// its memos, F1 opens the help, and screen readers meet it as a frame or,
// when it is a dialog window, as a dialog.
void markAsForm(QWidget* form);
// Esc closes the window as its close box does (whatever its closing asks or
// keeps runs the same way).
void closeOnEscape(QWidget* form);
bool isForm(const QWidget* window);

// The windows the start creates but does not show are built (their controls
// made) once the main window is on screen, so that the start shows the main
// window sooner. Tests build at once. Any user input or activation builds
// whatever still waits before it is handled, so no command meets a window
// that is not there yet.
void deferBuilding(QWidget* mainWindow);
void build(QWidget* form, std::function<void()> builder); // now, or deferred
void buildPending();
bool buildingPending();

// A window whose colours are fixed fixes all of them, text included, so that
// it looks the same under every theme (light text of a dark theme on its
// white would vanish): the light colours the window was drawn for, with
// `window` as its background. Its children inherit them; system colours in
// it resolve against its palette().
void fixColours(QWidget* form, const QColor& window);
QPalette fixedPalette(const QColor& window);

// Centres the window on the desktop's work area.
void centreOnScreen(QWidget* window);
// Centres the window over the main window, kept from going off the screen's
// top left; on the screen when there is no main window to centre over.
void centreOverMainWindow(QWidget* window);
QPoint centredOver(const QSize& frame, const QRect& over, const QPoint& topLeft);

// Every input carries the text of its label (the label's buddy) as its
// accessible name, without the label's padding blanks and colon.
void nameInputsByLabels(QWidget* form);
QString accessibleLabel(const QString& labelText);

// 帮助: help.chm of the program folder in the desktop's viewer for it, or,
// where none is registered, the same pages in the program's own help window.
void openHelp(QWidget* owner);
} // namespace Forms
