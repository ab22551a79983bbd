#include "TestSupport.h"
#include "exchange/Calendar.h"
#include "shell/data/Schedules.h"
#include "shell/data/dataForm.h"

#include <QCryptographicHash>
#include <QtTest>

// The calendar files of other programs in tests/data/ics-corpus: the import
// adds what an independent reader finds in them, or refuses them at the
// line that is wrong (tests/data/ics-corpus-expected.txt, and the script
// that wrote it).
class TestIcsCorpus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void theCorpusAgreesWithAnIndependentReader_data();
    void theCorpusAgreesWithAnIndependentReader();

private:
    struct Db {
        explicit Db(const QString& file)
        {
            module.ADOConnection1.setConnectionString(
                QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + file);
            DataModule1 = &module;
        }
        TDataModule1 module;
        DbQuery q{module.ADOConnection1};
    };
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<Db> db;
};

namespace {
QStringList rowsOf(DbQuery& q)
{
    QStringList out;
    ScheduleData::forEachForExport(q, std::nullopt, std::nullopt, [&](const Schedule& s) {
        out << s.date.toString(Qt::ISODate) + QLatin1Char(' ') +
                   s.time.toString(QStringLiteral("HH:mm:ss"));
    });
    return out;
}
} // namespace

void TestIcsCorpus::initTestCase()
{
    env = std::make_unique<TestEnvironment>();
    db = std::make_unique<Db>(env->databaseFile());
}

void TestIcsCorpus::cleanupTestCase()
{
    db.reset();
    env.reset();
}

void TestIcsCorpus::theCorpusAgreesWithAnIndependentReader_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("expected");
    QFile fixture(QStringLiteral(BRENWICK_SOURCE_DIR "/tests/data/ics-corpus-expected.txt"));
    QVERIFY(fixture.open(QIODevice::ReadOnly));
    int rows = 0;
    for (const QByteArray& line : fixture.readAll().split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        // "name.ics Zone/Name: expectation"
        const qsizetype space = line.indexOf(' '), colon = line.indexOf(": ");
        const QString file = QString::fromUtf8(line.left(space));
        const QByteArray zone = line.mid(space + 1, colon - space - 1);
        QTest::addRow("%s %s", qPrintable(file), zone.constData())
            << file << zone << QString::fromUtf8(line.mid(colon + 2));
        ++rows;
    }
    QVERIFY(rows >= 2 * 116);
}

void TestIcsCorpus::theCorpusAgreesWithAnIndependentReader()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, zone);
    QFETCH(QString, expected);
    if (expected.startsWith(QLatin1String("skip: ")))
        QSKIP(qPrintable(expected.mid(6)));
    // One database for every file, emptied between them.
    db->module.ADOConnection1.exec(QStringLiteral("delete from main"));
    QString ours;
    QStringList starts;
    try {
        Ics::ImportOptions o;
        o.today = QDate(2026, 3, 31); // as the expectations were written
        o.localZone = zone;
        DbTransaction transaction(db->module.ADOConnection1);
        Ics::importCalendar(
            readFile(QStringLiteral(BRENWICK_SOURCE_DIR "/tests/data/ics-corpus/") + file), db->q,
            o);
        db->q.close();
        transaction.commit();
        for (const QString& row : rowsOf(db->q))
            starts << row.left(19).replace(QLatin1Char(' '), QLatin1Char('T'));
        starts.sort();
        ours = QString::number(starts.size());
        if (!starts.isEmpty())
            ours += QStringLiteral(" %1 %2 %3")
                        .arg(QString::fromLatin1(
                                 QCryptographicHash::hash(starts.join(QLatin1Char('\n')).toUtf8(),
                                                          QCryptographicHash::Sha1)
                                     .toHex()
                                     .left(12)),
                             starts.first(), starts.last());
    } catch (const Ics::ImportError& e) {
        ours = QStringLiteral("refused %1").arg(e.line);
    }
    if (ours != expected)
        qWarning().noquote() << starts.join(QLatin1Char('\n'));
    QCOMPARE(ours, expected);
}

QTEST_GUILESS_MAIN(TestIcsCorpus)
#include "tst_icscorpus.moc"
