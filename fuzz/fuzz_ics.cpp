// An iCalendar import on any bytes, into a database of the program's schema,
// each input in a transaction that is rolled back. A refusal of the calendar
// text is an answer; a database error, or a count of added schedules that is
// not what the table holds, is a fault.
#include "exchange/Calendar.h"
#include "platform/AppError.h"
#include "platform/Database.h"
#include "shell/data/dataForm.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
struct World {
    QTemporaryDir dir;
    TDataModule1 module;
    DbQuery q{module.ADOConnection1};
    Ics::ImportOptions options;
};
World* world = nullptr;

int schedules(DbQuery& q)
{
    q.setSql(QStringLiteral("select count(*) as n from main"));
    q.open();
    const int n = q.intField(QStringLiteral("n"));
    q.close();
    return n;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    world = new World;
    if (!world->dir.isValid())
        qFatal("no temporary folder");
    world->module.ADOConnection1.setConnectionString(
        TDataModule1::connectionStringFor(world->dir.path() + QLatin1Char('/')));
    DataModule1 = &world->module;
    world->options.today = QDate(2026, 3, 31);
    world->options.localZone = "Asia/Shanghai";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    DbQuery& q = world->q;
    DbTransaction transaction(world->module.ADOConnection1);
    const int before = schedules(q);
    try {
        const Ics::Imported result = Ics::importCalendar(text, q, world->options);
        q.close();
        if (schedules(q) - before != result.added) {
            std::fprintf(stderr, "fuzz_ics: %d added, but the table grew by %d\n", result.added,
                         schedules(q) - before);
            std::abort();
        }
    } catch (const Ics::ImportError&) {
        q.close(); // the calendar text was refused: an answer, not a fault
    } catch (const AppError& e) {
        std::fprintf(stderr, "fuzz_ics: database error: %s\n", e.what());
        std::abort();
    }
    return 0; // the transaction rolls back
}
