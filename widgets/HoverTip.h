#pragma once

#include <QLabel>
#include <QTimer>

// A tool tip the program shows and hides itself: the toolkit's own hides
// when the cursor leaves the widget it belongs to, which the main window's
// details must not do. Hidden after 10 s without the cursor moving.
class HoverTip : public QLabel {
    Q_OBJECT
public:
    explicit HoverTip(QWidget* owner);
    // Lines of plain text, shown at the cursor with their indents.
    void showLines(const QString& text, const QPoint& cursor);
    void hideTip();
    // The cursor moved: the 10 s start again.
    void stillThere();

private:
    QTimer m_expiry;
};

// A tool tip that shows text exactly as it is, on one line: the toolkit
// takes text that looks like markup for rich text.
QString plainToolTip(const QString& text);
