#pragma once

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QThread;

// Copies of a database file, made through the engine's online backup so that
// a copy is consistent even while another connection writes.
namespace DatabaseBackup {
// Copies source into target, replacing it. The copy is made beside the
// target and renamed into place, so a target that exists is always whole. It
// is the user's alone (0600, or the source's mode where narrower), and a
// folder it makes 0700. Raises AppError naming the file that failed: the
// target when writing failed (a full disk), else the source.
void copy(const QString& source, const QString& target);
// Where a restore puts the copy it checks before it takes the database's
// place: "<database>.restoring".
QString incomingName(const QString& database);
// Removes what copies and restores of database that were killed part way
// left, each of full size: the dated copies' ".part" files in backupFolder,
// the restore's incoming copy and its ".part". Only for the one who holds the
// database's lock. Returns the files removed.
QStringList removeLeftovers(const QString& database, const QString& backupFolder);
// Empty when the file is a sound database holding every table named; else
// what is wrong with it.
QString problemWith(const QString& file, const QStringList& tables = {});
// "<base>-YYYY-MM-DD.<suffix>" of the database's file name.
QString datedName(const QString& database, const QDate& day);
// The dated copies of database in folder, oldest first.
QStringList datedCopies(const QString& folder, const QString& database);
// Removes the oldest dated copies beyond keep; returns those removed.
QStringList prune(const QString& folder, const QString& database, int keep);
} // namespace DatabaseBackup

// One copy a day into a folder, keeping the newest few. The copy runs on a
// thread of its own; a failure is told once through failed(), and the next
// day tries again.
class DailyBackup : public QObject {
    Q_OBJECT
public:
    DailyBackup(QString database, QString folder, int keep = 14, QObject* parent = nullptr);
    ~DailyBackup() override; // waits for a copy under way

    // Takes the copy of this day unless the day has one or was tried already,
    // or no database exists yet. True when a copy was started.
    bool runFor(const QDate& day);
    bool busy() const { return m_thread != nullptr; }
    void wait(); // until a copy under way has ended and been told

    QString database() const { return m_database; }
    QString folder() const { return m_folder; }

signals:
    void succeeded(const QString& file);
    void failed(const QString& text);

private:
    void finish();

    QString m_database;
    QString m_folder;
    int m_keep;
    QDate m_tried;
    QThread* m_thread = nullptr;
    QString m_target;
    std::shared_ptr<QString> m_error;
};
