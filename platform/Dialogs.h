#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

class QWidget;

// Every message box, file dialog and modal showing goes through here, so that
// tests can replace them with a recorder that answers without blocking.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Plain message: caption the application's title, one OK button, no icon.
    virtual void message(QWidget* parent, const QString& text) = 0;
    // The one question: question icon, caption "Confirm", "&Yes" and "&No".
    virtual bool confirm(QWidget* parent, const QString& text) = 0;
    // The default error box: caption the title, one OK button, the error
    // icon; owned by the window the error came from and shown above it.
    virtual void error(QWidget* owner, const QString& text) = 0;
    // File-open dialogs; empty when the user cancels.
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    virtual QStringList openFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                      const QString& filter) = 0;
    // The colour dialog, starting at initial; an invalid colour when the
    // user cancels.
    virtual QColor chooseColor(QWidget* parent, const QColor& initial) = 0;
    // Shows a window modal to its opener and returns when it is closed
    // (tests: returns at once). Only the opener is blocked, so that the tray
    // icon and its menu keep working meanwhile.
    virtual int showModal(QWidget* window, QWidget* opener) = 0;

    static Dialogs& instance();
    // Tests install their own; nullptr restores the real dialogs. Not owned.
    static void install(Dialogs* dialogs);

    // The caption of every box: the application's title.
    static void setTitle(const QString& title);
    static QString title();
    // Who owns an error box that came from no window: the main window.
    static void setDefaultOwner(QWidget* window);
    static QWidget* defaultOwner();
};

// The text the default error box shows: a full stop is appended when the last
// character sorts after it.
QString errorBoxText(const QString& text);

class WidgetDialogs : public Dialogs {
public:
    void message(QWidget* parent, const QString& text) override;
    bool confirm(QWidget* parent, const QString& text) override;
    void error(QWidget* owner, const QString& text) override;
    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QStringList openFileNames(QWidget* parent, const QString& caption, const QString& dir,
                              const QString& filter) override;
    QColor chooseColor(QWidget* parent, const QColor& initial) override;
    int showModal(QWidget* window, QWidget* opener) override;
};
