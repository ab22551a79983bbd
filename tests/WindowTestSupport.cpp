#include "WindowTestSupport.h"

#include "platform/DayNumber.h"
#include "platform/ProgramDir.h"
#include "shell/Application.h"
#include "shell/data/dataForm.h"
#include "shell/public.h"

#include <QAbstractButton>
#include <QFile>
#include <QtTest>

WindowTestEnvironment::~WindowTestEnvironment()
{
    while (!m_teardown.empty()) {
        m_teardown.back()();
        m_teardown.pop_back();
    }
    refreshFlag = 0;
}

void WindowTestEnvironment::openData()
{
    create(DataModule1)
        ->ADOConnection1.setConnectionString(TDataModule1::connectionStringFor(programDir()));
}

void WindowTestEnvironment::copyTrayIcon()
{
    const QString icon = QStringLiteral(BRENWICK_SOURCE_DIR "/resources/ovak.ico");
    if (!QFile::copy(icon, ProgramDir::file(QStringLiteral("ovak.ico"))))
        qFatal("cannot copy %s", qPrintable(icon));
}

void type(QWidget* w, const QString& text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void click(QAbstractButton* b)
{
    runGuarded([b] { b->click(); });
}

qint64 addSchedule(const QString& title, const QDate& date, const QTime& time, int yxj, int zt,
                   const QString& bz)
{
    DbTable& t = DataModule1->mydata;
    t.open();
    t.append();
    t.setField(QStringLiteral("title"), title);
    t.setField(QStringLiteral("content"), QStringLiteral("内容：") + title);
    t.setField(QStringLiteral("rc_date"), date);
    t.setField(QStringLiteral("rc_time"), time);
    t.setField(QStringLiteral("yxj"), yxj);
    t.setField(QStringLiteral("zt_flag"), zt);
    t.setField(QStringLiteral("bz"), bz);
    t.post();
    t.close();
    return t.lastId();
}

void addWorkNote(const QDate& date, const QString& text)
{
    DbTable& t = DataModule1->zjTable;
    t.open();
    t.append();
    t.setField(QStringLiteral("date"), date);
    t.setField(QStringLiteral("zj"), text);
    t.post();
    t.close();
}

QList<StoredWorkNote> storedWorkNotes()
{
    DbQuery q(DataModule1->ADOConnection1);
    q.setSql(QStringLiteral("select * from zjTable order by date"));
    q.open();
    QList<StoredWorkNote> out;
    for (; !q.eof(); q.next())
        out.append({DayNumber::toDate(q.dateTimeField(QStringLiteral("date"))),
                    q.textField(QStringLiteral("zj"))});
    return out;
}
