#pragma once

#include "TestSupport.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QTime>
#include <functional>
#include <vector>

class QAbstractButton;
class QWidget;

// The sandbox of one window test and the windows it builds, each under its
// global name: deleted at the end in the reverse order, the name set to null.
class WindowTestEnvironment : public TestEnvironment {
public:
    using TestEnvironment::TestEnvironment;
    ~WindowTestEnvironment();

    template <class T> T* create(T*& global)
    {
        own(global);
        return global = new T();
    }
    // A window the test or the program makes later.
    template <class T> void own(T*& global)
    {
        atEnd([&global] { delete global, global = nullptr; });
    }
    void openData(); // on the program folder's assistant.mdb, before the windows that query it
    void atEnd(std::function<void()> step) { m_teardown.push_back(std::move(step)); }
    void copyTrayIcon(); // the main window's activation needs ovak.ico

private:
    std::vector<std::function<void()>> m_teardown;
};

// What window tests do as a user would.
// Typing, one character at a time (keyClicks knows only ASCII).
void type(QWidget* w, const QString& text);
// A click as the user makes it: an error goes to the default error box.
void click(QAbstractButton* b);

// A schedule written straight into the data module's table: its content is
// "内容：" and the title.
qint64 addSchedule(const QString& title, const QDate& date, const QTime& time, int yxj = 1,
                   int zt = 1, const QString& bz = QString());
// A work note written straight into its table, and the notes stored, by date.
void addWorkNote(const QDate& date, const QString& text);
struct StoredWorkNote {
    QDate date;
    QString text;
};
QList<StoredWorkNote> storedWorkNotes();
