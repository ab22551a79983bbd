#include "widgets/PriorityDelegate.h"

#include <QApplication>
#include <QStyle>
#include <QWidget>

PriorityDelegate::PriorityDelegate(ColourOf colourOf, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_colourOf(std::move(colourOf))
{}

QSize PriorityDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QVariant hint = index.data(Qt::SizeHintRole);
    if (hint.isValid())
        return hint.toSize();
    QStyleOptionViewItem opt = option;
    QStyledItemDelegate::initStyleOption(&opt, index);
    if (opt.widget)
        opt.font = opt.widget->font();
    const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    return style->sizeFromContents(QStyle::CT_ItemViewItem, &opt, QSize(), opt.widget);
}

void PriorityDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->widget)
        option->font = option->widget->font(); // reset for every item
    if (const std::optional<QColor> colour = m_colourOf(index)) {
        option->palette.setColor(QPalette::Text, *colour);
        option->palette.setColor(QPalette::HighlightedText, *colour);
    }
}
