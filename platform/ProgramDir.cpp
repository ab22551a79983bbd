#include "platform/ProgramDir.h"

#include <QCoreApplication>
#include <QDir>

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
}
