// A ten-year 每天 series (3,650 rows) added through the add window, from the
// click on 确定 to the success message, one post per row as users have it;
// beside bare SQLite committing the same rows one by one.
#include "Generator.h"
#include "editing/addrc.h"
#include "platform/DayNumber.h"
#include "platform/Dialogs.h"
#include "platform/Heap.h"
#include "platform/ProgramDir.h"
#include "shell/Application.h"
#include "shell/data/dataForm.h"
#include "widgets/TextLimits.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <sqlite3.h>

namespace {
const int rows = 3650;

// Answers every box at once, keeps what was said, and notes when the success
// message came.
class TimingDialogs : public Dialogs {
public:
    QElapsedTimer clock;
    double atSuccess = -1;
    QStringList shown;
    void message(QWidget*, const QString& text) override
    {
        shown << text;
        if (text == QStringLiteral("     日程添加成功！     "))
            atSuccess = clock.nsecsElapsed() / 1e6;
    }
    bool confirm(QWidget*, const QString&) override { return true; }
    void error(QWidget*, const QString& text) override { shown << text; }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QStringList openFileNames(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QColor chooseColor(QWidget*, const QColor&) override { return {}; }
    int showModal(QWidget* w, QWidget*) override
    {
        w->show();
        return 0;
    }
};

double throughAddWindow(const QString& path, TimingDialogs& dialogs)
{
    Generator::createDatabase(path, Generator::fromToday(0, QDate::currentDate()));
    addrcForm = new TaddrcForm();
    Dialogs::instance().showModal(addrcForm, nullptr);
    addrcForm->title->setEditText(QStringLiteral("晨跑"));
    addrcForm->content->setPlainText(QStringLiteral("小区东门集合"));
    addrcForm->cfszCheckBox->setChecked(true);
    addrcForm->cfszCheckBoxClick();
    RepeatSettings& r = addrcForm->cfSettings;
    r.cfMode = RepeatSettings::Daily;
    r.cfRangeKind = RepeatSettings::ByEndDate;
    r.cfStart = QDate::currentDate();
    r.cfEnd = r.cfStart.addDays(rows + 1);
    dialogs.atSuccess = -1;
    dialogs.shown.clear();
    dialogs.clock.start();
    addrcForm->addConfirm->click();
    delete addrcForm;
    // The file stays open until the program is idle; this loop never is.
    DataModule1->ADOConnection1.closeFile();
    if (dialogs.atSuccess < 0 || Generator::countRows(path) != rows) {
        std::fprintf(stderr, "the series did not complete (%d rows): %s\n",
                     Generator::countRows(path), qPrintable(dialogs.shown.join(QLatin1Char('\n'))));
        std::exit(1);
    }
    return dialogs.atSuccess;
}

double bare(const QString& path)
{
    Generator::createDatabase(path, Generator::fromToday(0, QDate::currentDate()));
    QElapsedTimer clock;
    clock.start();
    sqlite3* db = Generator::openBare(path);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into main (title, content, rc_date, rc_time, yxj, tx_time_flag, "
                       "is_tx, tx_time) values (?,?,?,?,?,?,?,?)",
                       -1, &ins, nullptr);
    const QByteArray title = QByteArrayLiteral("晨跑");
    const QByteArray content = QByteArrayLiteral("小区东门集合");
    const double first = DayNumber::fromDate(QDate::currentDate()) + 1;
    for (int i = 0; i < rows; ++i) {
        sqlite3_bind_text(ins, 1, title.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_text(ins, 2, content.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_double(ins, 3, first + i);
        sqlite3_bind_double(ins, 4, 0.375);
        sqlite3_bind_int(ins, 5, 0);
        sqlite3_bind_int(ins, 6, 0);
        sqlite3_bind_int(ins, 7, 1);
        sqlite3_bind_int(ins, 8, 10);
        if (sqlite3_step(ins) != SQLITE_DONE) {
            std::fprintf(stderr, "bare insert failed: %s\n", sqlite3_errmsg(db));
            std::exit(1);
        }
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_close(db);
    return clock.nsecsElapsed() / 1e6;
}
} // namespace

int main(int argc, char** argv)
{
    Heap::keepLargeBlocks(); // as the program does at its start
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    AssistantApplication app(argc, argv);
    QTemporaryDir dir;
    ProgramDir::set(dir.path());
    const QString path = ProgramDir::file(QStringLiteral("assistant.mdb"));
    TimingDialogs dialogs;
    Dialogs::install(&dialogs);
    DataModule1 = new TDataModule1();
    DataModule1->ADOConnection1.setConnectionString(
        TDataModule1::connectionStringFor(ProgramDir::path()));

    // Best of three each, the database made afresh (and untimed) for every run.
    double ours = 1e300, bareMs = 1e300;
    for (int i = 0; i < 3; ++i) {
        ours = std::min(ours, throughAddWindow(path, dialogs));
        bareMs = std::min(bareMs, bare(path));
    }
    Generator::printRow(QStringLiteral("每天 series by end date, 3,650 rows, 确定 to message"),
                        ours, bareMs);

    delete DataModule1;
    Dialogs::install(nullptr);
    return 0;
}
