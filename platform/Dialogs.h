#pragma once

#include <QString>

class QWidget;

// Every message box, file dialog and modal showing goes through here, so that
// tests can replace them with a recorder that answers without blocking.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Plain message: caption "时雀", one OK button, no icon.
    virtual void message(QWidget* parent, const QString& text) = 0;
    // The one question: question icon, caption "Confirm", "&Yes" and "&No".
    virtual bool confirm(QWidget* parent, const QString& text) = 0;
    // The default error box: caption "时雀", one OK button, the error icon.
    virtual void error(const QString& text) = 0;
    // A file-open dialog; an empty text when the user cancels.
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    // Shows a window modally and returns when it is closed (tests: returns at once).
    virtual int showModal(QWidget* window) = 0;

    static Dialogs& instance();
    // Tests install their own; nullptr restores the real dialogs. Not owned.
    static void install(Dialogs* dialogs);
};

// The text the default error box shows: a full stop is appended when the last
// character sorts after it.
QString errorBoxText(const QString& text);

class WidgetDialogs : public Dialogs {
public:
    void message(QWidget* parent, const QString& text) override;
    bool confirm(QWidget* parent, const QString& text) override;
    void error(const QString& text) override;
    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    int showModal(QWidget* window) override;
};
