#include "KeyringSession.h"
#include "WindowTestSupport.h"
#include "platform/Database.h"
#include "platform/SecretStore.h"
#include "shell/data/dataForm.h"
#include "shell/public.h"
#include "shell/settings/Settings.h"
#include "syncside/ScheduleSyncSide.h"
#include "syncwindow/SyncRunner.h"
#include "syncwindow/rltb.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

// The calendar sync window, offscreen; the rounds it starts run off the GUI
// thread against a port where no server listens.
class TestSyncWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup() { env.reset(); }
    void inputsAreNamedByTheirLabels();
    void theIntervalIsKeptAndEscCloses();
    void noCalendarNoRound();
    void noServerChangesNothing();
    void thePasswordGoesToTheKeyring(); // last: it starts the keyring

private:
    TrltbForm* open();
    std::unique_ptr<WindowTestEnvironment> env;
    KeyringSession m_session;
};

void TestSyncWindow::initTestCase()
{
    // The user's keyring is never asked: a bus of the test's own, with no
    // secret service on it until the last test.
    QVERIFY(m_session.start());
}

void TestSyncWindow::init()
{
    env = std::make_unique<WindowTestEnvironment>();
    Settings::writeFirstRunDefaults();
    env->openData();
    env->own(rltbForm);
}

TrltbForm* TestSyncWindow::open()
{
    rltbForm = new TrltbForm();
    rltbForm->show();
    return rltbForm;
}

void TestSyncWindow::inputsAreNamedByTheirLabels()
{
    TrltbForm* w = open();
    const QList<QPair<QWidget*, QString>> named{
        {w->server, QStringLiteral("服务器地址")}, {w->user, QStringLiteral("用户名")},
        {w->password, QStringLiteral("密码")},     {w->calendar, QStringLiteral("日历")},
        {w->interval, QStringLiteral("自动同步")}, {w->result, QStringLiteral("上次同步")}};
    for (const auto& [widget, name] : named)
        QCOMPARE(widget->accessibleName(), name);
    QVERIFY(w->windowFlags() & Qt::Dialog);
    QCOMPARE(w->password->echoMode(), QLineEdit::Password);
    QStringList offered;
    for (int i = 0; i < w->interval->count(); ++i)
        offered << w->interval->itemText(i);
    QCOMPARE(offered, QStringList({"关闭", "每 5 分钟", "每 15 分钟", "每 60 分钟"}));
}

void TestSyncWindow::theIntervalIsKeptAndEscCloses()
{
    TrltbForm* w = open();
    w->interval->setCurrentIndex(2);
    emit w->interval->activated(2);
    QCOMPARE(Settings::readInteger(Settings::syncInterval), 15);
    QPointer<TrltbForm> guard(w);
    QTest::keyClick(w, Qt::Key_Escape);
    QTRY_VERIFY(guard.isNull());
    QVERIFY(!rltbForm);
    // Opened again, it shows what was chosen.
    QCOMPARE(open()->interval->currentText(), QStringLiteral("每 15 分钟"));
}

void TestSyncWindow::noCalendarNoRound()
{
    TrltbForm* w = open();
    w->server->setText(QStringLiteral("http://127.0.0.1:9/"));
    click(w->syncButton);
    QCOMPARE(w->result->text(), QStringLiteral("请先连接服务器，选好日历"));
    QVERIFY(!SyncRunner::instance().running());
    QCOMPARE(Settings::readString(Settings::syncServer), QStringLiteral("http://127.0.0.1:9/"));
}

void TestSyncWindow::noServerChangesNothing()
{
    // A port nobody listens on: the round fails, the schedules stay as they were.
    DbQuery q(DataModule1->ADOConnection1);
    DataModule1->ADOConnection1.exec(
        QStringLiteral("insert into main (title, rc_date, rc_time) values ('留着', 46112, 0.5)"));
    {
        Settings::Writer s;
        s.string(Settings::syncCalendar, QStringLiteral("http://127.0.0.1:9/cal/"));
    }
    TrltbForm* w = open();
    w->server->setText(QStringLiteral("http://127.0.0.1:9/"));
    w->password->setText(QStringLiteral("secret"));
    QSignalSpy finished(&SyncRunner::instance(), &SyncRunner::finished);
    refreshFlag = 0;
    click(w->syncButton);
    QVERIFY(!w->syncButton->isEnabled());
    QCOMPARE(w->result->text(), QStringLiteral("正在同步……"));
    QVERIFY(finished.wait(30000));
    QVERIFY(w->syncButton->isEnabled());
    QVERIFY2(w->result->text().endsWith(QStringLiteral("  无法连接服务器")),
             qPrintable(w->result->text()));
    QCOMPARE(w->result->text(), SyncRunner::lastResult());
    QCOMPARE(refreshFlag, 0);
    q.setSql(QStringLiteral("select title from main"));
    q.open();
    QCOMPARE(q.recordCount(), 1);
    QCOMPARE(q.textField(QStringLiteral("title")), QStringLiteral("留着"));
    q.close();
}

void TestSyncWindow::thePasswordGoesToTheKeyring()
{
    QVERIFY(m_session.startKeyring());
    DataModule1->ADOConnection1.exec(QStringLiteral("select 1")); // the file, empty
    {
        Settings::Writer s;
        s.string(Settings::syncCalendar, QStringLiteral("http://127.0.0.1:9/cal/"));
    }
    TrltbForm* w = open();
    w->server->setText(QStringLiteral("http://127.0.0.1:9/"));
    w->user->setText(QStringLiteral("alice"));
    w->password->setText(QStringLiteral("秘密 pw"));
    QSignalSpy finished(&SyncRunner::instance(), &SyncRunner::finished);
    click(w->syncButton);
    QVERIFY(finished.wait(30000));
    QVERIFY2(w->result->text().endsWith(QStringLiteral("  无法连接服务器")),
             qPrintable(w->result->text()));
    const SecretStore::Result kept =
        SecretStore(syncSecretSchema()).lookup(QStringLiteral("http://127.0.0.1:9/"), "alice");
    QCOMPARE(kept.status, SecretStore::Status::Ok);
    QCOMPARE(kept.password, QStringLiteral("秘密 pw"));
    // The next round asks for nothing: the keyring has it.
    w->password->clear();
    click(w->syncButton);
    QVERIFY(finished.wait(30000));
    QVERIFY2(w->result->text().endsWith(QStringLiteral("  无法连接服务器")),
             qPrintable(w->result->text()));
}

QTEST_MAIN(TestSyncWindow)
#include "tst_syncwindow.moc"
