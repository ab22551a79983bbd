#include "widgets/PriorityDelegate.h"

#include <QWidget>

PriorityDelegate::PriorityDelegate(ColourOf colourOf, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_colourOf(std::move(colourOf))
{}

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
