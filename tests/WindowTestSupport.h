#pragma once

#include "TestSupport.h"

#include <QDate>
#include <QString>
#include <QTime>
#include <functional>
#include <vector>

class QAbstractButton;
class QWidget;

// The sandbox of one window test with the windows it builds. Each window (and
// the data module) is made under its global name and deleted at the end, in
// the reverse order, its name set back to null; then the sandbox goes.
class WindowTestEnvironment : public TestEnvironment {
public:
    using TestEnvironment::TestEnvironment;
    WindowTestEnvironment(const WindowTestEnvironment&) = delete;
    WindowTestEnvironment& operator=(const WindowTestEnvironment&) = delete;
    ~WindowTestEnvironment();

    template <class T> T* create(T*& global)
    {
        global = new T();
        own(global);
        return global;
    }
    // A window the test (or the program) makes later, under this name.
    template <class T> void own(T*& global)
    {
        atEnd([&global] {
            delete global;
            global = nullptr;
        });
    }
    // The data module, on assistant.mdb of the program folder: open it before
    // the windows whose queries use it.
    void openData();
    // A step of the teardown, taken in turn with the windows.
    void atEnd(std::function<void()> step) { m_teardown.push_back(std::move(step)); }
    // The main window's activation needs its tray icon file in the program folder.
    void copyTrayIcon();

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
