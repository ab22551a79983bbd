#include "shell/Application.h"

#include "platform/AppError.h"
#include "platform/Dialogs.h"
#include "shell/public.h"

#include <QPalette>
#include <QProxyStyle>
#include <QToolTip>

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
} // namespace

void reportError(const QString& text)
{
    if (showingErrors.contains(text))
        return;
    showingErrors.append(text);
    Dialogs::instance().error(text);
    showingErrors.removeLast();
}

bool runGuarded(const std::function<void()>& fn)
{
    try {
        fn();
        return true;
    } catch (const AbortError&) {
    } catch (const AppError& e) {
        reportError(e.text());
    } catch (const std::exception& e) {
        reportError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

AssistantApplication::AssistantApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Brenwick"));
    setOrganizationName(QStringLiteral("Tavimor"));
}

bool AssistantApplication::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    runGuarded([&] { handled = QApplication::notify(receiver, event); });
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
