#include "shell/Forms.h"

#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "platform/ProgramDir.h"
#include "shell/HelpWindow.h"
#include "widgets/AccessibleInputs.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QShortcut>
#include <QTextBrowser>
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
    AccessibleInputs::install();
    // A tab typed into a memo would be saved, and the keyboard could not
    // leave it.
    for (QPlainTextEdit* memo : form->findChildren<QPlainTextEdit*>())
        memo->setTabChangesFocus(true);
    for (QTextEdit* memo : form->findChildren<QTextEdit*>())
        if (!qobject_cast<QTextBrowser*>(memo))
            memo->setTabChangesFocus(true);
    auto* help = new QShortcut(QKeySequence::HelpContents, form);
    help->setObjectName(QStringLiteral("helpShortcut"));
    connect(help, &QShortcut::activated, form, [form] { openHelp(form); });
}

void closeOnEscape(QWidget* form)
{
    auto* escape = new QShortcut(QKeySequence::Cancel, form);
    escape->setObjectName(QStringLiteral("escapeShortcut"));
    connect(escape, &QShortcut::activated, form, [form] { form->close(); });
}

bool isForm(const QWidget* window)
{
    return window && window->property("brenwickForm").toBool();
}

QPalette fixedPalette(const QColor& window)
{
    // Black text on white fields and light grey buttons; the highlight of
    // the toolkit's own light palette.
    QPalette p(QColor(0xef, 0xef, 0xef), window);
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::AlternateBase, QColor(0xf7, 0xf7, 0xf7));
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(g, QPalette::Text, Qt::black);
        p.setColor(g, QPalette::WindowText, Qt::black);
        p.setColor(g, QPalette::ButtonText, Qt::black);
        p.setColor(g, QPalette::Highlight, QColor(0x30, 0x8c, 0xc6));
        p.setColor(g, QPalette::HighlightedText, Qt::white);
    }
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(0xef, 0xef, 0xef));
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x91, 0x91, 0x91));
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x00, 0x00, 0xff));
    p.setColor(QPalette::LinkVisited, QColor(0xff, 0x00, 0xff));
    p.setColor(QPalette::PlaceholderText, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xdc));
    p.setColor(QPalette::ToolTipText, Qt::black);
    return p;
}

void fixColours(QWidget* form, const QColor& window)
{
    form->setAutoFillBackground(true);
    form->setPalette(fixedPalette(window));
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
    // Blanks that pad a caption for its layout are not read out.
    for (QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
        const QString caption = button->text().remove(QLatin1Char('&'));
        if (button->accessibleName().isEmpty() && caption.trimmed() != caption)
            button->setAccessibleName(caption.trimmed());
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
