#pragma once

#include "platform/AppError.h"
#include "platform/Dialogs.h"
#include "platform/Notifications.h"
#include "platform/Sound.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>

// Stands in for every message box and modal showing: records what would have
// been shown and answers from canned replies, never blocking.
class RecordingDialogs : public Dialogs {
public:
    struct Shown {
        QString kind; // "message", "confirm", "error", "file", "files", "color", "modal"
        QString text;
        QWidget* owner = nullptr; // the window it was shown for
    };
    QList<Shown> shown;
    QList<bool> confirmAnswers;   // taken in order; "yes" when empty
    QStringList fileNames;        // taken in order; "" (cancel) when empty
    QList<QStringList> fileLists; // several chosen at once: before fileNames
    QList<QColor> colors;         // taken in order; cancel when empty (text: the start)
    QList<QWidget*> modalWindows;

    void message(QWidget* parent, const QString& text) override;
    bool confirm(QWidget* parent, const QString& text) override;
    void error(QWidget* owner, const QString& text) override;
    QString openFileName(QWidget*, const QString& caption, const QString&, const QString&) override;
    QStringList openFileNames(QWidget*, const QString& caption, const QString&,
                              const QString&) override;
    QColor chooseColor(QWidget* parent, const QColor& initial) override;
    int showModal(QWidget* window, QWidget* opener) override;

    QStringList texts(const QString& kind) const;
    QStringList errors() const { return texts(QStringLiteral("error")); }
    QStringList messages() const { return texts(QStringLiteral("message")); }
    void clear() { shown.clear(); }
};

// Stands in for the sound player: records the files it was asked to play.
class RecordingSound : public Sound {
public:
    QStringList played;
    void playFile(const QString& path) override { played.append(path); }
};

// Stands in for the desktop's notification service: records every notice.
class RecordingNotifications : public Notifications {
public:
    QList<Notification> sent;
    void notify(const Notification& n) override { sent.append(n); }
};

// A sandbox for one test: temporary program, data and settings folders, pinned
// formats, a fixed clock and the recorders installed. Restores all on exit,
// the desktop's stand-ins and a failing disk too.
class TestEnvironment {
public:
    explicit TestEnvironment(const QDateTime& now = QDateTime(QDate(2026, 3, 31), QTime(9, 0)));
    ~TestEnvironment();

    QString programDir() const; // ends in '/'
    QString configHome() const;
    QString registryFile() const;
    QString dataHome() const; // $XDG_DATA_HOME
    QString databaseFile() const;
    RecordingDialogs& dialogs() { return m_dialogs; }
    RecordingSound& sound() { return m_sound; }
    RecordingNotifications& notifications() { return m_notifications; }
    void setNow(const QDateTime& now);

private:
    QTemporaryDir m_root;
    RecordingDialogs m_dialogs;
    RecordingSound m_sound;
    RecordingNotifications m_notifications;
    QByteArray m_oldConfig, m_oldRuntime, m_oldData;
};

// A message bus of the test's own (dbus-daemon), for services played by the
// test. Skip the test when !started(): the daemon is not installed.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    bool started() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // A connection of its own to the bus, closed with the bus.
    QDBusConnection connect(const QString& name);

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};

// Writes a file whole (tests only).
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
// The permission bits of the file or folder at path (0 when there is none).
uint modeOf(const QString& path);

// Whether another local user (nobody) can read the file or list the folder at
// path. The temporary folder that holds it is first opened to all, as a home
// folder usually is, so that only the modes of the path and of the folders
// the program made decide. Empty where no other user can be played (not
// root, or no setpriv).
std::optional<bool> otherUserCanRead(const QString& path);

// The text of the AppError the step raises, empty when it raises none: for
// tests that compare what a refusal says in one line.
inline QString errorOf(const std::function<void()>& step)
{
    try {
        step();
    } catch (const AppError& e) {
        return e.text();
    }
    return QString();
}

// A row of a data table, its texts written as literals: a table's rows on
// one line each. The texts go into QString columns.
inline QString tableCell(const char* text)
{
    return QString::fromUtf8(text);
}
template <class T> const T& tableCell(const T& value)
{
    return value;
}
template <class... Cells> void textRow(const char* name, const Cells&... cells)
{
    (QTest::newRow(name) << ... << tableCell(cells));
}
