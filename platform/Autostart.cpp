#include "platform/Autostart.h"

#include "platform/Registry.h"
#include "platform/SafeFile.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace {
bool isReserved(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}
} // namespace

QString AutostartEntry::folder()
{
    return Registry::configHome() + QStringLiteral("/autostart");
}

QString AutostartEntry::file() const
{
    const QDir dir(folder());
    const QString wanted = m_name + QStringLiteral(".desktop");
    for (const QString& entry : dir.entryList({QStringLiteral("*.desktop")}, QDir::Files))
        if (entry.compare(wanted, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    return dir.filePath(wanted);
}

bool AutostartEntry::exists() const
{
    return QFile::exists(file());
}

QString AutostartEntry::program() const
{
    // A FIFO or a device in its place would block or never end.
    QByteArray bytes;
    if (!SafeFile::read(file(), &bytes).isEmpty())
        return QString();
    bool inEntry = false;
    for (const QByteArray& raw : bytes.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.startsWith(QLatin1String("Exec=")))
            return programFromExec(line.mid(5));
    }
    return QString();
}

QString AutostartEntry::write(const QString& program, const QString& displayName) const
{
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=%1\n"
                                         "Exec=%2\n"
                                         "Terminal=false\n")
                              .arg(displayName, execValue(program));
    return SafeFile::replace(file(), entry.toUtf8());
}

bool AutostartEntry::remove() const
{
    const QString f = file();
    return !QFile::exists(f) || QFile::remove(f);
}

QString AutostartEntry::execValue(const QString& program)
{
    // Quoting of the Exec key first, then the escapes of a desktop-entry string.
    QString arg = program;
    arg.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (std::any_of(arg.begin(), arg.end(), isReserved)) {
        QString q = QStringLiteral("\"");
        for (QChar c : arg) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                q += QLatin1Char('\\');
            q += c;
        }
        arg = q + QLatin1Char('"');
    }
    QString out;
    for (QChar c : arg) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

QString AutostartEntry::programFromExec(const QString& exec)
{
    QString arg;
    for (int i = 0; i < exec.size(); ++i) {
        if (exec.at(i) == QLatin1Char('\\') && i + 1 < exec.size()) {
            const QChar n = exec.at(++i);
            arg += n == QLatin1Char('n')   ? QChar(QLatin1Char('\n'))
                   : n == QLatin1Char('t') ? QChar(QLatin1Char('\t'))
                   : n == QLatin1Char('r') ? QChar(QLatin1Char('\r'))
                   : n == QLatin1Char('s') ? QChar(QLatin1Char(' '))
                                           : n;
        } else {
            arg += exec.at(i);
        }
    }
    if (arg.startsWith(QLatin1Char('"')) && arg.endsWith(QLatin1Char('"')) && arg.size() >= 2) {
        QString unq;
        for (int i = 1; i + 1 < arg.size(); ++i) {
            if (arg.at(i) == QLatin1Char('\\') && i + 2 < arg.size())
                ++i;
            unq += arg.at(i);
        }
        arg = unq;
    }
    arg.replace(QStringLiteral("%%"), QStringLiteral("%"));
    return arg;
}
