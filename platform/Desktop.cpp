#include "platform/Desktop.h"

#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QMimeDatabase>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

namespace {
std::function<QPoint()> cursorSource;
std::function<QSize()> screenSource;
std::function<bool(const QString&)> opener;

// Whether the desktop has a program registered for this kind of file; asking
// it to open one without would only bring up its own error, or nothing.
bool hasViewerFor(const QString& path)
{
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return false;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    QStringList names{type.name()};
    names += type.aliases();
    for (const QString& name : std::as_const(names)) {
        QProcess query;
        query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), name});
        if (query.waitForFinished(2000) && !query.readAllStandardOutput().trimmed().isEmpty())
            return true;
    }
    return false;
}
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

QRect Desktop::workArea()
{
    if (screenSource)
        return QRect(QPoint(0, 0), screenSource());
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

bool Desktop::openDocument(const QString& path)
{
    if (opener)
        return opener(path);
    const QString absolute = QDir::current().absoluteFilePath(path);
    if (!QFile::exists(absolute) || !hasViewerFor(absolute))
        return false;
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
