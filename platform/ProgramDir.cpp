#include "platform/ProgramDir.h"

#include "platform/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
QString& overridden()
{
    static QString dir;
    return dir;
}

QString withSlash(QString dir)
{
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

// The marker's folder name for the program folder it was read in; the marker
// is read once per program folder (a package changes it only by installing).
struct Marker {
    QString programDir;
    QString folder; // empty: no usable marker
};

Marker& cache()
{
    static Marker cached;
    return cached;
}

const QString& markerFolder()
{
    Marker& cached = cache();
    const QString program = ProgramDir::path();
    if (cached.programDir != program) {
        cached.programDir = program;
        cached.folder.clear();
        const QString marker = program + QLatin1String(ProgramDir::markerName);
        if (QFileInfo::exists(marker)) {
            QByteArray content;
            const QString failed = SafeFile::read(marker, &content, 4096);
            cached.folder = failed.isEmpty() ? ProgramDir::folderFromMarker(content) : QString();
            // A damaged marker leaves the data in the program folder, where a
            // package's install can save nothing and says so at every save.
            if (cached.folder.isEmpty())
                qWarning("%s names no folder under the data home; the data stays in %s",
                         qPrintable(marker), qPrintable(program));
        }
    }
    return cached.folder;
}
} // namespace

QString ProgramDir::path()
{
    if (!overridden().isEmpty())
        return overridden();
    return withSlash(QCoreApplication::applicationDirPath());
}

void ProgramDir::set(const QString& dir)
{
    overridden() = dir.isEmpty() ? QString() : withSlash(QDir(dir).absolutePath());
    cache() = Marker(); // read again, as a new start would
}

QString ProgramDir::folderFromMarker(const QByteArray& content)
{
    QString line = QString::fromUtf8(content);
    if (line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    if (line.isEmpty() || line.startsWith(QLatin1Char('/')) || line.endsWith(QLatin1Char('/')))
        return QString();
    for (const QString& part : line.split(QLatin1Char('/'))) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return QString();
        for (const QChar c : part)
            if (c.category() == QChar::Other_Control || c == QChar::ReplacementCharacter)
                return QString();
    }
    return line;
}

QString ProgramDir::dataHome()
{
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::homePath() + QStringLiteral("/.local/share");
}

bool ProgramDir::dataApart()
{
    return !markerFolder().isEmpty();
}

QString ProgramDir::dataPath()
{
    const QString& folder = markerFolder();
    if (folder.isEmpty())
        return path();
    return withSlash(dataHome() + QLatin1Char('/') + folder);
}

QString ProgramDir::makeDataPath()
{
    if (!dataApart())
        return QString(); // the program folder: an install's, never made here
    return SafeFile::makeFolder(dataPath());
}
