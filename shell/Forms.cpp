#include "shell/Forms.h"

#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "platform/ProgramDir.h"
#include "shell/HelpWindow.h"
#include "widgets/AccessibleInputs.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

namespace Forms {

namespace {
struct Pending {
    QPointer<QWidget> form;
    std::function<void()> builder;
};
QList<Pending>& pending()
{
    static QList<Pending> list;
    return list;
}
bool deferring = false;

// Builds what waits once the main window has painted itself the first time.
class FirstPaint : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, [] { buildPending(); });
            deleteLater();
        }
        return false;
    }
};
} // namespace

void deferBuilding(QWidget* mainWindow)
{
    deferring = true;
    mainWindow->installEventFilter(new FirstPaint(mainWindow));
    // A window that never paints (no display to speak of) builds them anyway.
    QTimer::singleShot(2000, mainWindow, [] { buildPending(); });
}

void build(QWidget* form, std::function<void()> builder)
{
    if (!deferring) {
        builder();
        return;
    }
    pending().append({form, std::move(builder)});
}

bool buildingPending()
{
    return !pending().isEmpty();
}

void buildPending()
{
    // In the order the windows were created; one built may start another.
    while (!pending().isEmpty()) {
        Pending p = pending().takeFirst();
        if (p.form)
            runGuarded(p.builder, p.form);
    }
    deferring = false;
}

void markAsForm(QWidget* form)
{
    form->setProperty("brenwickForm", true);
}

bool isForm(const QWidget* window)
{
    return window && window->property("brenwickForm").toBool();
}

void centreOnScreen(QWidget* window)
{
    QRect r = window->frameGeometry();
    r.moveCenter(Desktop::workArea().center());
    window->move(r.topLeft());
}

QPoint centredOver(const QSize& frame, const QRect& over, const QPoint& topLeft)
{
    const QPoint centred(over.x() + (over.width() - frame.width()) / 2,
                         over.y() + (over.height() - frame.height()) / 2);
    return QPoint(qMax(centred.x(), topLeft.x()), qMax(centred.y(), topLeft.y()));
}

void centreOverMainWindow(QWidget* window)
{
    QWidget* main = Dialogs::defaultOwner();
    if (!main || main == window) {
        centreOnScreen(window);
        return;
    }
    window->move(centredOver(window->frameGeometry().size(), main->frameGeometry(),
                             Desktop::workArea().topLeft()));
}

QString accessibleLabel(const QString& labelText)
{
    QString t = labelText;
    t.remove(QLatin1Char('&'));
    t.remove(QLatin1Char(' '));
    while (t.endsWith(QChar(0xFF1A)) || t.endsWith(QLatin1Char(':')))
        t.chop(1);
    return t;
}

void nameInputsByLabels(QWidget* form)
{
    AccessibleInputs::install();
    for (QLabel* label : form->findChildren<QLabel*>()) {
        QWidget* input = label->buddy();
        if (input && input->accessibleName().isEmpty())
            input->setAccessibleName(accessibleLabel(label->text()));
    }
    // The focus of an editable combo box is in its line edit: it answers to
    // the same name.
    for (QComboBox* box : form->findChildren<QComboBox*>())
        if (box->isEditable() && box->lineEdit()->accessibleName().isEmpty())
            box->lineEdit()->setAccessibleName(box->accessibleName());
}

void openHelp(QWidget* owner)
{
    if (Desktop::openDocument(ProgramDir::file(QStringLiteral("help.chm"))))
        return;
    HelpWindow::showHelp(owner);
}

} // namespace Forms
