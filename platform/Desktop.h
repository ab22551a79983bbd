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
    // Asks the desktop to open a document; the result is ignored by callers.
    static bool openDocument(const QString& path);

    static void setCursorPos(std::function<QPoint()> source); // nullptr: the real cursor
    static void setScreenSize(std::function<QSize()> source); // nullptr: the real screen
    static void setOpener(std::function<bool(const QString&)> opener);
};
