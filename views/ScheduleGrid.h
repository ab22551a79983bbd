#pragma once

#include <QHeaderView>
#include <QTableView>

// The fixed column of a grid: an empty grey cell beside every row, kept in
// place while the rows scroll sideways. It is the grid's vertical header.
class FixedColumn : public QHeaderView {
    Q_OBJECT
public:
    explicit FixedColumn(QWidget* parent = nullptr);
    void setColumnWidth(int width);
    int columnWidth() const { return m_width; }
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    int m_width = 10;
};

// The browse and the result grid: a view over a model whose row 0 holds the
// headers as an ordinary row (it scrolls away and can be selected) and whose
// column 0 is the one fixed column. Columns are resized by dragging their
// right edge on row 0 and moved by dragging their cell of row 0; the model's
// columns keep their meaning wherever they are moved.
class ScheduleGrid : public QTableView {
    Q_OBJECT
public:
    explicit ScheduleGrid(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    // Column 0 is the fixed column.
    void setColumnWidths(const QList<int>& widths);
    int gridColumnWidth(int column) const;
    FixedColumn* fixedColumn() const { return m_fixed; }
    // The column at a visual position (0 is the fixed column), and back.
    int columnAtPosition(int position) const;
    int positionOfColumn(int column) const;
    // What dragging the row-0 cell of `column` onto the cell of `onto` does.
    void moveColumn(int column, int onto);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    int edgeAt(const QPoint& pos) const; // the column whose right edge is under pos, on row 0
    bool onHeaderRow(const QPoint& pos) const { return rowAt(pos.y()) == 0; }
    void endDrag();

    FixedColumn* m_fixed;
    enum class Drag { None, Pending, Resize, Move } m_drag = Drag::None;
    int m_dragColumn = -1;
    QPoint m_pressPos;
};
