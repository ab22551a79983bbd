#pragma once

#include <QStyledItemDelegate>
#include <functional>
#include <optional>

// Draws each item in a colour asked afresh at every drawing (the schedule's
// priority colour), in the view's own font. Items the function gives no
// colour keep the view's text colour.
class PriorityDelegate : public QStyledItemDelegate {
public:
    using ColourOf = std::function<std::optional<QColor>(const QModelIndex&)>;
    PriorityDelegate(ColourOf colourOf, QObject* parent = nullptr);

    // The size asks for no colour: a view of rows unlike in height sizes
    // rows it does not draw.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    ColourOf m_colourOf;
};
