#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <functional>

// The cursor position, the screen and the desktop's "open this document",
// behind one seam each so tests can dock, hover and open help at will.
class Desktop {
public:
    static QPoint cursorPos();
    static QSize screenSize();
    // The part of the primary screen that windows may take (without panels).
    static QRect workArea();
    // Asks the desktop to open a document with the program registered for
    // its kind; false when there is none (or the file is missing), so that
    // the caller can show it another way.
    static bool openDocument(const QString& path);

    static void setCursorPos(std::function<QPoint()> source); // nullptr: the real cursor
    static void setScreenSize(std::function<QSize()> source); // nullptr: the real screen
    static void setOpener(std::function<bool(const QString&)> opener);
};
