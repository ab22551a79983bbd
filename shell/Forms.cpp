#include "shell/Forms.h"

#include "platform/Desktop.h"
#include "platform/ProgramDir.h"
#include "shell/HelpWindow.h"
#include "widgets/AccessibleInputs.h"

#include <QLabel>

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
}

void openHelp(QWidget* owner)
{
    if (Desktop::openDocument(ProgramDir::file(QStringLiteral("help.chm"))))
        return;
    HelpWindow::showHelp(owner);
}

} // namespace Forms
