#include "platform/Dialogs.h"

#include "platform/AppError.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QWindow>

namespace {
Dialogs* installed = nullptr;

QString title()
{
    return QStringLiteral("时雀");
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
    QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Ok, parent);
    box.exec();
}

bool WidgetDialogs::confirm(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::NoButton,
                    parent);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void WidgetDialogs::error(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, title(), errorBoxText(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

QString WidgetDialogs::openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                    const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

int WidgetDialogs::showModal(QWidget* window)
{
    // Owned by the window it was opened from, so that the window manager keeps
    // it above that one: an always-on-top opener would otherwise cover it
    // while it blocks the opener, and the program would look frozen.
    QWidget* opener = QApplication::activeWindow();
    if (!window->parentWidget() && opener && opener != window) {
        window->winId();
        if (QWindow* handle = window->windowHandle())
            handle->setTransientParent(opener->windowHandle());
    }
    if (auto* dialog = qobject_cast<QDialog*>(window))
        return dialog->exec();
    // A plain window shown application-modal, waiting until it hides or dies.
    QPointer<QWidget> guard(window);
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    window->raise();
    window->activateWindow();
    QEventLoop loop;
    while (guard && guard->isVisible())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    if (guard)
        guard->setWindowModality(Qt::NonModal);
    return 0;
}
