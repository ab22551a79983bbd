#pragma once

#include "platform/Dialogs.h"
#include "platform/Sound.h"

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

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

// A sandbox for one test: temporary program and settings folders, pinned
// formats, a fixed clock and the recorders installed. Restores all on exit,
// the desktop's stand-ins and a failing disk too.
class TestEnvironment {
public:
    explicit TestEnvironment(const QDateTime& now = QDateTime(QDate(2026, 3, 31), QTime(9, 0)));
    ~TestEnvironment();

    QString programDir() const; // ends in '/'
    QString configHome() const;
    QString registryFile() const;
    QString databaseFile() const { return programDir() + QStringLiteral("assistant.mdb"); }
    RecordingDialogs& dialogs() { return m_dialogs; }
    RecordingSound& sound() { return m_sound; }
    void setNow(const QDateTime& now);

private:
    QTemporaryDir m_root;
    RecordingDialogs m_dialogs;
    RecordingSound m_sound;
    QByteArray m_oldConfig, m_oldRuntime;
};

// Writes a file whole (tests only).
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
