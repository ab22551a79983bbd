#pragma once

#include <QApplication>
#include <functional>

class QWidget;

// The application object: every event handler runs inside notify(), which is
// the one guard that turns an escaped error into the default error box and
// lets the loop go on.
class AssistantApplication : public QApplication {
    Q_OBJECT
public:
    AssistantApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Tool tips: white background, text in the highlight colour.
    static void applyToolTipSettings();
};

// Runs fn under the same guard, for handlers called from outside an event:
// signal handlers (through Forms::connect), start-up steps, tests. The error
// box goes above the window of `from` (or the main window). Returns false
// when fn raised an error.
bool runGuarded(const std::function<void()>& fn, QObject* from = nullptr);

// The same guard for a window's showing: the error box goes up once the
// event loop has gone round, so the window is on screen first (with what the
// handler filled in before it failed) and the box above it.
bool runGuardedWhileShowing(const std::function<void()>& fn, QWidget* window);

// Shows text in the default error box, above the window of `from`.
void reportError(const QString& text, QObject* from = nullptr);
