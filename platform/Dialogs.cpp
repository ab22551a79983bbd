#include "platform/Dialogs.h"

#include "platform/AppError.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QWindow>

namespace {
Dialogs* installed = nullptr;

// Ends a modal loop when its window hides.
class HideWatch : public QObject {
public:
    HideWatch(QWidget* window, QEventLoop* loop)
        : m_window(window)
        , m_loop(loop)
    {
        window->installEventFilter(this);
    }
    ~HideWatch() override
    {
        if (m_window)
            m_window->removeEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Hide)
            m_loop->quit();
        return false;
    }

private:
    QPointer<QWidget> m_window;
    QEventLoop* m_loop;
};
QString boxTitle;
QPointer<QWidget> mainOwner;

// A box goes above the window it belongs to; one that came from nowhere in
// particular goes above the main window, never behind an always-on-top one.
QWidget* ownerFor(QWidget* owner)
{
    if (owner)
        return owner->window();
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return mainOwner.data();
}

// The box of an always-on-top window is always on top too. It may come
// before its window is on the screen (an error while the window loads), and
// would then stand below every always-on-top window, the main window too.
// So does a box of no window at all (a start that ends before it has any),
// which would stand below another copy's main window.
void keepAbove(QMessageBox& box)
{
    const QWidget* owner = box.parentWidget();
    if (!owner || owner->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
}
} // namespace

Dialogs& Dialogs::instance()
{
    static WidgetDialogs real;
    return installed ? *installed : real;
}

void Dialogs::install(Dialogs* dialogs)
{
    installed = dialogs;
}

void Dialogs::setTitle(const QString& title)
{
    boxTitle = title;
}

QString Dialogs::title()
{
    return boxTitle;
}

void Dialogs::setDefaultOwner(QWidget* window)
{
    mainOwner = window;
}

QWidget* Dialogs::defaultOwner()
{
    return mainOwner.data();
}

QString errorBoxText(const QString& text)
{
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

QString fileOpenErrorText(const QString& fileName, const QString& reason)
{
    return QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, reason);
}

void WidgetDialogs::message(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Ok, ownerFor(parent));
    keepAbove(box);
    box.exec();
}

bool WidgetDialogs::confirm(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::NoButton,
                    ownerFor(parent));
    keepAbove(box);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void WidgetDialogs::error(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, title(), errorBoxText(text), QMessageBox::Ok,
                    ownerFor(owner));
    keepAbove(box);
    box.exec();
}

QString WidgetDialogs::openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                    const QString& filter)
{
    return QFileDialog::getOpenFileName(ownerFor(parent), caption, dir, filter);
}

QStringList WidgetDialogs::openFileNames(QWidget* parent, const QString& caption,
                                         const QString& dir, const QString& filter)
{
    return QFileDialog::getOpenFileNames(ownerFor(parent), caption, dir, filter);
}

QColor WidgetDialogs::chooseColor(QWidget* parent, const QColor& initial)
{
    return QColorDialog::getColor(initial, ownerFor(parent), QStringLiteral("颜色"));
}

int WidgetDialogs::showModal(QWidget* window, QWidget* opener)
{
    if (opener)
        opener = opener->window();
    if (opener == window)
        opener = nullptr;
    // Owned by the window it was opened from, so that the window manager keeps
    // it above that one: an always-on-top opener would otherwise cover it
    // while it blocks the opener, and the program would look frozen.
    if (!window->parentWidget() && opener) {
        window->winId();
        opener->winId();
        if (QWindow* handle = window->windowHandle())
            handle->setTransientParent(opener->windowHandle());
    }
    // Modal to its opener only: an application-modal window would block the
    // tray icon too.
    const bool wasVisible = window->isVisible();
    if (!wasVisible)
        window->setWindowModality(Qt::WindowModal);
    if (auto* dialog = qobject_cast<QDialog*>(window))
        return dialog->exec();
    QPointer<QWidget> guard(window);
    window->show();
    window->raise();
    window->activateWindow();
    // Until the window hides or goes, or the program quits (退出 from the
    // tray while it is open): a loop of its own, which quitting ends too.
    QEventLoop loop;
    HideWatch watch(window, &loop);
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (guard && guard->isVisible())
        loop.exec();
    if (guard)
        guard->setWindowModality(Qt::NonModal);
    return 0;
}
