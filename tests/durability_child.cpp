// Appends schedules one post at a time and prints each id once its post has
// returned, until it is killed. The durability test checks the file after.
// With "permissions", it writes to its file while the file is read-only and
// again once it is writable, printing what each write said.
#include "platform/AppError.h"
#include "platform/DayNumber.h"
#include "shell/data/dataForm.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

namespace {
int permissions(TDataModule1& dm, const QString& file)
{
    auto write = [&dm] {
        try {
            dm.ADOConnection1.exec(QStringLiteral("insert into main (title) values ('x')"));
            std::printf("written\n");
        } catch (const AppError& e) {
            std::printf("%s\n", e.text().toUtf8().constData());
        }
        std::fflush(stdout);
        dm.ADOConnection1.closeFile();
    };
    dm.ADOConnection1.exec(QStringLiteral("select count(*) from main")); // the file exists
    dm.ADOConnection1.closeFile();
    for (const char* suffix : {"-wal", "-shm"})
        QFile::remove(file + QLatin1String(suffix));
    const auto rw = QFile::permissions(file);
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    dm.ADOConnection1.exec(QStringLiteral("select count(*) from main")); // journal files made now
    dm.ADOConnection1.closeFile();
    write();
    QFile::setPermissions(file, rw);
    write();
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    TDataModule1 dm;
    const QString file = QString::fromLocal8Bit(argv[1]);
    dm.ADOConnection1.setConnectionString(QStringLiteral("Data Source=") + file);
    if (argc > 2 && qstrcmp(argv[2], "permissions") == 0)
        return permissions(dm, file);
    for (int i = 0;; ++i) {
        dm.mydata.open();
        dm.mydata.append();
        dm.mydata.setField(QStringLiteral("title"), QStringLiteral("row %1").arg(i));
        dm.mydata.setField(QStringLiteral("content"), QString(150, QLatin1Char('x')));
        dm.mydata.setField(QStringLiteral("rc_date"), QDate(2026, 1, 1).addDays(i % 3000));
        dm.mydata.setField(QStringLiteral("rc_time"), QTime(9, 0));
        dm.mydata.post();
        std::printf("%lld\n", dm.mydata.lastId());
        std::fflush(stdout);
        dm.mydata.close();
    }
}
