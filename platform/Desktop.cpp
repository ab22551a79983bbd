#include "platform/Desktop.h"

#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>

namespace {
std::function<QPoint()> cursorSource;
std::function<QSize()> screenSource;
std::function<bool(const QString&)> opener;
} // namespace

QPoint Desktop::cursorPos()
{
    return cursorSource ? cursorSource() : QCursor::pos();
}

QSize Desktop::screenSize()
{
    if (screenSource)
        return screenSource();
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize(1024, 768);
}

bool Desktop::openDocument(const QString& path)
{
    if (opener)
        return opener(path);
    // A bare name is taken against the current directory, as a shell would.
    const QString absolute = QDir::current().absoluteFilePath(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(absolute));
}

void Desktop::setCursorPos(std::function<QPoint()> source)
{
    cursorSource = std::move(source);
}

void Desktop::setScreenSize(std::function<QSize()> source)
{
    screenSource = std::move(source);
}

void Desktop::setOpener(std::function<bool(const QString&)> o)
{
    opener = std::move(o);
}
