#include "widgets/AccessibleInputs.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QKeySequence>
#include <QLineEdit>

namespace {
class NamedComboBox : public QAccessibleWidget {
public:
    explicit NamedComboBox(QComboBox* box)
        : QAccessibleWidget(box, QAccessible::ComboBox)
    {}

    QComboBox* box() const { return static_cast<QComboBox*>(object()); }

    int childCount() const override { return box()->isEditable() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(box()->view());
        if (index == 1 && box()->isEditable())
            return QAccessible::queryAccessibleInterface(box()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (child->object() == box()->view())
            return 0;
        if (box()->isEditable() && child->object() == box()->lineEdit())
            return 1;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        if (box()->isEditable() && box()->lineEdit()->rect().contains(x, y))
            return child(1);
        return nullptr;
    }
    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            // Without a name of its own, the desktop's way: its text.
            return box()->accessibleName().isEmpty() ? text(QAccessible::Value)
                                                     : box()->accessibleName();
        case QAccessible::Value:
            return box()->isEditable() ? box()->lineEdit()->text() : box()->currentText();
        case QAccessible::Accelerator:
            return QKeySequence(Qt::Key_Down).toString(QKeySequence::NativeText);
        default:
            return QAccessibleWidget::text(t);
        }
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& action) override
    {
        if (action != showMenuAction() && action != pressAction())
            return;
        if (box()->view()->isVisible())
            box()->hidePopup();
        else
            box()->showPopup();
    }
};

// Every combo box: its interface may be made before its name is given.
QAccessibleInterface* factory(const QString&, QObject* object)
{
    if (auto* box = qobject_cast<QComboBox*>(object))
        return new NamedComboBox(box);
    return nullptr;
}
} // namespace

namespace AccessibleInputs {

void install()
{
    static const bool installed = (QAccessible::installFactory(&factory), true);
    Q_UNUSED(installed);
}

} // namespace AccessibleInputs
