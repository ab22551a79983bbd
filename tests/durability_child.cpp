// Appends schedules one post at a time and prints each id once its post has
// returned, until it is killed. The durability test checks the file after.
#include "platform/DayNumber.h"
#include "shell/data/dataForm.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    TDataModule1 dm;
    dm.ADOConnection1.setConnectionString(QStringLiteral("Data Source=") +
                                          QString::fromLocal8Bit(argv[1]));
    for (int i = 0;; ++i) {
        dm.mydata.open();
        dm.mydata.append();
        dm.mydata.setField(QStringLiteral("title"), QStringLiteral("row %1").arg(i));
        dm.mydata.setField(QStringLiteral("content"), QString(150, QLatin1Char('x')));
        dm.mydata.setField(QStringLiteral("rc_date"), QDate(2026, 1, 1).addDays(i % 3000));
        dm.mydata.setField(QStringLiteral("rc_time"), QTime(9, 0));
        dm.mydata.post();
        std::printf("%lld\n", static_cast<long long>(dm.mydata.lastId()));
        std::fflush(stdout);
        dm.mydata.close();
    }
}
