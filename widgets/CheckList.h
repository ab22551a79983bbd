#pragma once

#include <QListWidget>

// A list of items the user checks and unchecks. Screen readers meet each
// item with its check state and a Toggle action that changes it as a click
// does (the toolkit's own items offer a Toggle that only selects).
class CheckList : public QListWidget {
    Q_OBJECT
public:
    using QListWidget::QListWidget;

    // The state a click gives the item: a three-state item goes round
    // checked, unchecked, partly checked.
    static Qt::CheckState nextState(const QListWidgetItem* item);
    void toggle(QListWidgetItem* item);
};
