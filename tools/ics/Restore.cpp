#include "tools/ics/Restore.h"

#include "platform/AppError.h"
#include "platform/DatabaseBackup.h"
#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace {
QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

bool move(const QString& from, const QString& to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

void removeWithJournals(const QString& path)
{
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}
} // namespace

namespace Restore {

QStringList requiredTables()
{
    return {QStringLiteral("main"), QStringLiteral("zjTable")};
}

QString restore(const QString& backup, const QString& database, const QDateTime& now)
{
    if (!QFileInfo(backup).isFile())
        throw AppError(QStringLiteral("%1: 没有这个文件").arg(native(backup)));
    // The running program's own lock, as its start takes it: held for the
    // whole swap, so that it cannot start meanwhile either. Its name is the
    // program's title.
    const QString folder = SingleInstance::runtimeDir(QStringLiteral("brenwick"));
    SingleInstance running(QStringLiteral("时雀"), folder);
    if (!folder.isEmpty() && !running.tryBecomePrimary())
        throw AppError(QStringLiteral("时雀正在运行：请先退出它，再恢复数据库"));

    // The copy is checked where it will be used, beside the database.
    const QString incoming = database + QStringLiteral(".restoring");
    removeWithJournals(incoming);
    try {
        DatabaseBackup::copy(backup, incoming);
    } catch (const AppError& e) {
        removeWithJournals(incoming);
        throw AppError(QStringLiteral("%1 不能用来恢复：%2").arg(native(backup), e.text()));
    }
    const QString problem = DatabaseBackup::problemWith(incoming, requiredTables());
    if (!problem.isEmpty()) {
        removeWithJournals(incoming);
        throw AppError(QStringLiteral("%1 不能用来恢复：%2")
                           .arg(native(backup), QString(problem).replace(incoming, backup)));
    }

    QString kept;
    if (QFileInfo::exists(database)) {
        const QString stem = database + QStringLiteral(".before-restore-") +
                             now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
        kept = stem;
        for (int n = 2; QFileInfo::exists(kept); ++n)
            kept = stem + QLatin1Char('-') + QString::number(n);
        if (!move(database, kept)) {
            removeWithJournals(incoming);
            throw AppError(QStringLiteral("%1: 无法改名保留").arg(native(database)));
        }
        // What the journal holds belongs to the kept file.
        if (QFileInfo::exists(database + QStringLiteral("-wal")))
            move(database + QStringLiteral("-wal"), kept + QStringLiteral("-wal"));
        QFile::remove(database + QStringLiteral("-shm"));
    }
    if (!move(incoming, database)) {
        if (!kept.isEmpty()) {
            move(kept, database);
            move(kept + QStringLiteral("-wal"), database + QStringLiteral("-wal"));
        }
        removeWithJournals(incoming);
        throw AppError(QStringLiteral("%1: 无法放到原处").arg(native(database)));
    }
    removeWithJournals(incoming);
    return kept;
}

} // namespace Restore
