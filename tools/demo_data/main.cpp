// Fills a database with schedules from today on, for looking at the windows:
//   demo_data PATH/assistant.mdb [COUNT] [DAYS]
#include "Generator.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: demo_data PATH [COUNT] [DAYS]\n");
        return 2;
    }
    const int count = argc > 2 ? QByteArray(argv[2]).toInt() : 40;
    const int days = argc > 3 ? QByteArray(argv[3]).toInt() : 8;
    auto options = Generator::fromToday(count, QDate::currentDate(), days);
    options.workNotes = 3;
    Generator::createDatabase(QString::fromLocal8Bit(argv[1]), options);
    std::printf("%d schedules over %d days written to %s\n", count, days, argv[1]);
    return 0;
}
