#pragma once

#include <QGroupBox>
#include <QPushButton>

// A white button with a thin grey border that turns yellow under the cursor,
// drawn by itself: a style sheet would cost every widget of its window a
// style pass at start.
class HotTrackButton : public QPushButton {
    Q_OBJECT
public:
    explicit HotTrackButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A white group box framed in one colour, its title on the frame.
class FramedGroupBox : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QColor frameColor READ frameColor WRITE setFrameColor)
public:
    explicit FramedGroupBox(QWidget* parent = nullptr);
    QColor frameColor() const { return m_frame; }
    void setFrameColor(const QColor& c);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_frame = Qt::red;
};

// A button that looks like a link: underlined text in the highlight colour,
// grey while disabled.
class LinkButton : public QPushButton {
    Q_OBJECT
public:
    explicit LinkButton(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
