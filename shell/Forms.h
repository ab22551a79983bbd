#pragma once

#include "shell/Application.h"

#include <QObject>
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
void markAsForm(QWidget* form);
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
