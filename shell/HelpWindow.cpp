#include "shell/HelpWindow.h"

#include "shell/Forms.h"
#include "shell/public.h"
#include "widgets/AccessibleInputs.h"

#include <QPointer>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QWindow>

static void initHelpResources()
{
    Q_INIT_RESOURCE(help);
}

namespace {
QPointer<HelpWindow> shown;
} // namespace

HelpWindow::HelpWindow()
{
    static const bool ready = (initHelpResources(), true);
    Q_UNUSED(ready);
    setObjectName(QStringLiteral("helpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(APP_TITLE + QStringLiteral(" 帮助"));
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setOpenLinks(true);
    m_browser->setSearchPaths({QStringLiteral(":/help")});
    m_browser->setSource(QUrl(QStringLiteral("qrc:/help/index.html")));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(560, 620);
    AccessibleInputs::install();
    Forms::closeOnEscape(this);
}

HelpWindow* HelpWindow::instance()
{
    return shown.data();
}

HelpWindow* HelpWindow::showHelp(QWidget* owner)
{
    if (!shown) {
        shown = new HelpWindow();
        // Above the window it was asked from, but not blocked by it.
        if (owner) {
            owner->window()->winId();
            shown->winId();
            shown->windowHandle()->setTransientParent(owner->window()->windowHandle());
        }
    }
    shown->show();
    shown->raise();
    shown->activateWindow();
    return shown;
}
