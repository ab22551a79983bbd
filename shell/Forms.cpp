#include "shell/Forms.h"

#include "platform/Desktop.h"
#include "platform/ProgramDir.h"
#include "shell/HelpWindow.h"
#include "widgets/AccessibleInputs.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace Forms {

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
