#include "widgets/AccessibleInputs.h"

#include "widgets/CheckList.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QHash>
#include <QKeySequence>
#include <QLineEdit>
#include <QPersistentModelIndex>
#include <QPointer>

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

// The toolkit announces a top-level plain widget as a client area, which
// screen readers call a filler and do not read as a window. The role follows
// the window type, which a window may change after its interface is made.
class PlainWindow : public QAccessibleWidget {
public:
    explicit PlainWindow(QWidget* w)
        : QAccessibleWidget(w, QAccessible::Client)
    {}
    QAccessible::Role role() const override
    {
        if (!widget()->isWindow())
            return QAccessible::Client;
        return widget()->windowType() == Qt::Dialog ? QAccessible::Dialog : QAccessible::Window;
    }
};

// An item of a check list, by its place in the model (the item itself may
// go while a screen reader still holds its interface).
class CheckItem : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    CheckItem(CheckList* list, const QModelIndex& index)
        : m_list(list)
        , m_index(index)
    {}

    QListWidgetItem* item() const
    {
        return m_list && m_index.isValid() ? m_list->item(m_index.row()) : nullptr;
    }
    int row() const { return m_index.isValid() ? m_index.row() : -1; }

    bool isValid() const override { return item(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_list ? m_list->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_list.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        const QListWidgetItem* i = item();
        return i && t == QAccessible::Name ? i->text() : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        const QListWidgetItem* i = item();
        if (!i)
            return QRect();
        const QRect r = m_list->visualItemRect(i);
        return QRect(m_list->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        const QListWidgetItem* i = item();
        if (!i) {
            s.invalid = true;
            return s;
        }
        s.focusable = s.selectable = s.checkable = true;
        s.checked = i->checkState() == Qt::Checked;
        s.checkStateMixed = i->checkState() == Qt::PartiallyChecked;
        s.selected = i->isSelected();
        s.focused = m_list->hasFocus() && m_list->currentItem() == i;
        s.disabled = !i->flags().testFlag(Qt::ItemIsEnabled);
        if (!m_list->isVisible() ||
            !m_list->viewport()->rect().intersects(m_list->visualItemRect(i)))
            s.invisible = s.offscreen = true;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                 : nullptr;
    }

    QStringList actionNames() const override { return {toggleAction()}; }
    void doAction(const QString& action) override
    {
        if (action == toggleAction() && m_list)
            m_list->toggle(item());
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<CheckList> m_list;
    QPersistentModelIndex m_index;
};

class AccessibleCheckList : public QAccessibleWidget {
public:
    explicit AccessibleCheckList(CheckList* list)
        : QAccessibleWidget(list, QAccessible::List)
    {
        // A click, a key or a Toggle: screen readers hear the new state.
        m_changes =
            QObject::connect(list, &QListWidget::itemChanged, list, [this](QListWidgetItem* item) {
                if (QAccessibleInterface* i = child(checkList()->row(item))) {
                    QAccessible::State changed;
                    changed.checked = true;
                    QAccessibleStateChangeEvent event(i, changed);
                    QAccessible::updateAccessibility(&event);
                }
            });
    }
    ~AccessibleCheckList() override
    {
        QObject::disconnect(m_changes);
        for (QAccessible::Id id : std::as_const(m_items))
            QAccessible::deleteAccessibleInterface(id);
    }

    CheckList* checkList() const { return static_cast<CheckList*>(object()); }

    int childCount() const override { return checkList()->count(); }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= checkList()->count())
            return nullptr;
        // An interface follows its item; one whose item went or moved is
        // replaced.
        if (m_items.contains(index)) {
            auto* known = static_cast<CheckItem*>(QAccessible::accessibleInterface(m_items[index]));
            if (known && known->row() == index)
                return known;
            QAccessible::deleteAccessibleInterface(m_items.take(index));
        }
        auto* item = new CheckItem(checkList(), checkList()->model()->index(index, 0));
        m_items.insert(index, QAccessible::registerAccessibleInterface(item));
        return item;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (auto i = m_items.cbegin(); i != m_items.cend(); ++i)
            if (QAccessible::accessibleInterface(i.value()) == child)
                return static_cast<const CheckItem*>(child)->row();
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint p = checkList()->viewport()->mapFromGlobal(QPoint(x, y));
        return child(checkList()->row(checkList()->itemAt(p)));
    }
    QAccessibleInterface* focusChild() const override
    {
        return checkList()->hasFocus() ? child(checkList()->currentRow()) : nullptr;
    }

private:
    QMetaObject::Connection m_changes;
    mutable QHash<int, QAccessible::Id> m_items;
};

// Every combo box: its interface may be made before its name is given.
// Every check list. Every widget class made straight on QWidget: the windows are such.
QAccessibleInterface* factory(const QString&, QObject* object)
{
    if (auto* box = qobject_cast<QComboBox*>(object))
        return new NamedComboBox(box);
    if (auto* list = qobject_cast<CheckList*>(object))
        return new AccessibleCheckList(list);
    if (object->isWidgetType() && object->metaObject()->superClass() == &QWidget::staticMetaObject)
        return new PlainWindow(static_cast<QWidget*>(object));
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
