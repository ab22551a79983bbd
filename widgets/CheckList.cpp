#include "widgets/CheckList.h"

Qt::CheckState CheckList::nextState(const QListWidgetItem* item)
{
    // The rule of the toolkit's item delegate, which a click goes through.
    const Qt::CheckState state = item->checkState();
    if (item->flags().testFlag(Qt::ItemIsUserTristate))
        return Qt::CheckState((int(state) + 1) % 3);
    return state == Qt::Checked ? Qt::Unchecked : Qt::Checked;
}

void CheckList::toggle(QListWidgetItem* item)
{
    if (item && item->listWidget() == this && item->flags().testFlag(Qt::ItemIsUserCheckable) &&
        item->flags().testFlag(Qt::ItemIsEnabled))
        item->setCheckState(nextState(item));
}
