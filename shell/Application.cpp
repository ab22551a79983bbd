#include "shell/Application.h"

#include "platform/AppError.h"
#include "platform/Dialogs.h"
#include "shell/Forms.h"
#include "shell/public.h"
#include "widgets/AccessibleInputs.h"

#include <QPalette>
#include <QPointer>
#include <QProxyStyle>
#include <QTimer>
#include <QToolTip>
#include <QWidget>
#include <QWindow>

namespace {
// An error raised again and again while its box is up (a timer or a repaint
// failing each time) is shown once, not stacked.
QStringList showingErrors;

class ToolTipStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override
    {
        // Moving on while a tool tip shows brings the next one up at once.
        if (hint == SH_ToolTip_FallAsleepDelay)
            return 10000;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

// The window an object belongs to: a widget's own window, the widget of a
// window, or the window of the nearest widget among its parents.
QWidget* windowOf(QObject* from)
{
    for (QObject* o = from; o; o = o->parent()) {
        if (auto* w = qobject_cast<QWidget*>(o))
            return w->window();
        if (auto* handle = qobject_cast<QWindow*>(o)) {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->windowHandle() == handle)
                    return top;
        }
    }
    return nullptr;
}
} // namespace

void reportError(const QString& text, QObject* from)
{
    if (showingErrors.contains(text))
        return;
    showingErrors.append(text);
    Dialogs::instance().error(windowOf(from), text);
    showingErrors.removeLast();
}

bool runGuarded(const std::function<void()>& fn, QObject* from)
{
    try {
        fn();
        return true;
    } catch (const AbortError&) {
    } catch (const AppError& e) {
        reportError(e.text(), from);
    } catch (const std::exception& e) {
        reportError(QString::fromLocal8Bit(e.what()), from);
    }
    return false;
}

bool runGuardedWhileShowing(const std::function<void()>& fn, QWidget* window)
{
    QString text;
    try {
        fn();
        return true;
    } catch (const AbortError&) {
        return false;
    } catch (const AppError& e) {
        text = e.text();
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    }
    QPointer<QWidget> owner(window);
    QTimer::singleShot(0, [text, owner] { reportError(text, owner.data()); });
    return false;
}

AssistantApplication::AssistantApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Brenwick"));
    setOrganizationName(QStringLiteral("Tavimor"));
    // The menu entry's name: docks and task switchers tie the window to it
    // (the Wayland app id; on X11 the entry names the window's class).
    setDesktopFileName(QStringLiteral("Tavimor"));
    Dialogs::setTitle(APP_TITLE);
    AccessibleInputs::install();
}

bool AssistantApplication::notify(QObject* receiver, QEvent* event)
{
    // The windows the start left unbuilt are built before anything the user
    // does, or any activation, is handled.
    if (Forms::buildingPending()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::FocusIn:
        case QEvent::WindowActivate:
        case QEvent::ContextMenu:
            Forms::buildPending();
            break;
        default:
            break;
        }
    }
    bool handled = false;
    runGuarded([&] { handled = QApplication::notify(receiver, event); }, receiver);
    return handled;
}

void AssistantApplication::applyToolTipSettings()
{
    QPalette tip = QToolTip::palette();
    const QColor highlight = QApplication::palette().color(QPalette::Active, QPalette::Highlight);
    tip.setColor(QPalette::ToolTipBase, Qt::white);
    tip.setColor(QPalette::ToolTipText, highlight);
    tip.setColor(QPalette::Window, Qt::white);
    tip.setColor(QPalette::WindowText, highlight);
    QToolTip::setPalette(tip);
    QApplication::setStyle(new ToolTipStyle(QApplication::style()->name()));
}
