#pragma once

#include <QString>

class QAbstractButton;
class QWidget;

// What window tests do as a user would.
// Typing, one character at a time (keyClicks knows only ASCII).
void type(QWidget* w, const QString& text);
// A click as the user makes it: an error goes to the default error box.
void click(QAbstractButton* b);
