#include "views/ScheduleGrid.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

namespace {
constexpr int edgeGrip = 3; // pixels either side of a column's edge
constexpr int rowHeight = 20;
} // namespace

FixedColumn::FixedColumn(QWidget* parent)
    : QHeaderView(Qt::Vertical, parent)
{
    setSectionsClickable(false);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Fixed);
    setDefaultSectionSize(rowHeight);
    setMinimumSectionSize(1);
}

void FixedColumn::setColumnWidth(int width)
{
    m_width = qMax(0, width);
    setFixedWidth(m_width);
    updateGeometry();
}

QSize FixedColumn::sizeHint() const
{
    // Never measured from the sections' texts: a hundred thousand rows would
    // each be asked.
    return QSize(m_width, QHeaderView::sizeHint().height());
}

void FixedColumn::paintSection(QPainter* painter, const QRect& rect, int) const
{
    // A raised grey cell, as fixed cells are.
    const QPalette& pal = palette();
    painter->fillRect(rect, pal.color(QPalette::Button));
    painter->setPen(pal.color(QPalette::Light));
    painter->drawLine(rect.topLeft(), rect.topRight());
    painter->drawLine(rect.topLeft(), rect.bottomLeft());
    painter->setPen(pal.color(QPalette::Dark));
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->drawLine(rect.topRight(), rect.bottomRight());
}

ScheduleGrid::ScheduleGrid(QWidget* parent)
    : QTableView(parent)
    , m_fixed(new FixedColumn(this))
{
    setVerticalHeader(m_fixed);
    horizontalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setSectionsMovable(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setMouseTracking(true);
}

void ScheduleGrid::setModel(QAbstractItemModel* model)
{
    QTableView::setModel(model);
    // Column 0 is drawn by the fixed column beside the rows.
    setColumnHidden(0, true);
}

void ScheduleGrid::setColumnWidths(const QList<int>& widths)
{
    for (int c = 0; c < widths.size(); ++c) {
        if (c == 0)
            m_fixed->setColumnWidth(widths[0]);
        else
            setColumnWidth(c, widths[c]);
    }
}

int ScheduleGrid::gridColumnWidth(int column) const
{
    return column == 0 ? m_fixed->columnWidth() : columnWidth(column);
}

int ScheduleGrid::columnAtPosition(int position) const
{
    return horizontalHeader()->logicalIndex(position);
}

int ScheduleGrid::positionOfColumn(int column) const
{
    return horizontalHeader()->visualIndex(column);
}

void ScheduleGrid::moveColumn(int column, int onto)
{
    // Nothing moves into the place of the fixed column, nor the fixed column.
    const int from = positionOfColumn(column);
    const int to = positionOfColumn(onto);
    if (column == 0 || onto == 0 || from < 1 || to < 1 || from == to)
        return;
    horizontalHeader()->moveSection(from, to);
}

int ScheduleGrid::edgeAt(const QPoint& pos) const
{
    if (!model() || !onHeaderRow(pos))
        return -1;
    for (int c = 1; c < model()->columnCount(); ++c) {
        if (isColumnHidden(c))
            continue;
        const int right = columnViewportPosition(c) + columnWidth(c);
        if (qAbs(pos.x() - right) <= edgeGrip)
            return c;
    }
    return -1;
}

void ScheduleGrid::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && onHeaderRow(pos)) {
        const int edge = edgeAt(pos);
        if (edge >= 0) {
            m_drag = Drag::Resize;
            m_dragColumn = edge;
            return;
        }
        m_drag = Drag::Pending;
        m_dragColumn = columnAt(pos.x());
        m_pressPos = pos;
    }
    QTableView::mousePressEvent(event);
}

void ScheduleGrid::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    switch (m_drag) {
    case Drag::Resize:
        setColumnWidth(m_dragColumn, qMax(1, pos.x() - columnViewportPosition(m_dragColumn)));
        return;
    case Drag::Pending:
        if (qAbs(pos.x() - m_pressPos.x()) < QApplication::startDragDistance())
            break;
        m_drag = Drag::Move;
        viewport()->setCursor(Qt::ClosedHandCursor);
        return;
    case Drag::Move:
        return;
    case Drag::None:
        if (event->buttons() == Qt::NoButton) {
            if (edgeAt(pos) >= 0)
                viewport()->setCursor(Qt::SplitHCursor);
            else
                viewport()->unsetCursor();
        }
        break;
    }
    QTableView::mouseMoveEvent(event);
}

void ScheduleGrid::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_drag == Drag::Move) {
        const int onto = columnAt(event->position().toPoint().x());
        if (m_dragColumn >= 0 && onto >= 0)
            moveColumn(m_dragColumn, onto);
        endDrag();
        return;
    }
    const bool resized = m_drag == Drag::Resize;
    endDrag();
    if (!resized)
        QTableView::mouseReleaseEvent(event);
}

void ScheduleGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click on a column's edge is no double click on a cell.
    if (edgeAt(event->position().toPoint()) >= 0)
        return;
    QTableView::mouseDoubleClickEvent(event);
}

void ScheduleGrid::endDrag()
{
    m_drag = Drag::None;
    m_dragColumn = -1;
    viewport()->unsetCursor();
}
