#include "sync/SyncDecision.h"

#include <QtTest>

using Sync::Action;
Q_DECLARE_METATYPE(Sync::Action)

// Every combination of the record and both sides' states: with a record,
// each side is absent, as recorded, or changed; without one, absent or present.
class TestSyncDecision : public QObject {
    Q_OBJECT
private slots:
    void everyCombination_data();
    void everyCombination();
    void anUnknownEtagIsAChange();
};

namespace {
enum Side { Absent, Same, Changed };
}

void TestSyncDecision::everyCombination_data()
{
    QTest::addColumn<bool>("recorded");
    QTest::addColumn<int>("local");
    QTest::addColumn<int>("remote");
    QTest::addColumn<Action>("action");

    const auto row = [](const char* name, bool rec, Side l, Side r, Action a) {
        QTest::newRow(name) << rec << int(l) << int(r) << a;
    };
    // Never synced: Same stands for present.
    row("new: neither", false, Absent, Absent, Action::Nothing);
    row("new: here", false, Same, Absent, Action::UploadNew);
    row("new: there", false, Absent, Same, Action::Download);
    row("new: both, or record lost", false, Same, Same, Action::Conflict);
    // Synced before.
    row("unchanged", true, Same, Same, Action::Nothing);
    row("changed there", true, Same, Changed, Action::Download);
    row("changed here", true, Changed, Same, Action::UploadChanged);
    row("changed on both", true, Changed, Changed, Action::Conflict);
    row("deleted there", true, Same, Absent, Action::DeleteLocal);
    row("deleted there, changed here", true, Changed, Absent, Action::UploadNew);
    row("deleted here", true, Absent, Same, Action::DeleteRemote);
    row("deleted here, changed there", true, Absent, Changed, Action::Download);
    row("deleted on both", true, Absent, Absent, Action::RecordOnly);
}

void TestSyncDecision::everyCombination()
{
    QFETCH(bool, recorded);
    QFETCH(int, local);
    QFETCH(int, remote);
    QFETCH(Action, action);

    std::optional<Sync::Status> status;
    if (recorded)
        status = Sync::Status{QStringLiteral("u"), QStringLiteral("/c/u.ics"),
                              QStringLiteral("\"e1\""), QByteArray("h1")};
    Sync::Local l{local != Absent, local == Changed ? QByteArray("h2") : QByteArray("h1")};
    Sync::Remote r{remote != Absent,
                   remote == Changed ? QStringLiteral("\"e2\"") : QStringLiteral("\"e1\"")};
    const Action got = Sync::decide(status, l, r);
    QVERIFY2(got == action, Sync::actionName(got));
}

void TestSyncDecision::anUnknownEtagIsAChange()
{
    // The server never told the ETag of the upload: whatever it lists now may
    // be another client's write, so it is fetched, never taken as ours.
    const Sync::Status status{QStringLiteral("u"), QStringLiteral("/c/u.ics"), QString(), "h1"};
    QCOMPARE(Sync::decide(status, {true, "h1"}, {true, QStringLiteral("\"e9\"")}),
             Action::Download);
    QCOMPARE(Sync::decide(status, {true, "h2"}, {true, QStringLiteral("\"e9\"")}),
             Action::Conflict);
    QCOMPARE(Sync::decide(status, {false, {}}, {true, QString()}), Action::Download);
}

QTEST_GUILESS_MAIN(TestSyncDecision)
#include "tst_syncdecision.moc"
