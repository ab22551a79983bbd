#include "mainwindow/ScheduleTreeModel.h"

#include "mainwindow/AssistantLogic.h"
#include "platform/AppError.h"
#include "platform/DayNumber.h"

#include <cmath>

namespace {
// The rebuild reads these of every row: a null ends it, as it always has.
void requireValues(const DbSnapshot& rows, const ScheduleColumns& c, int row)
{
    for (int column : {c.title, c.rcTime, c.ztFlag, c.id})
        if (rows.isNull(row, column))
            throw AppError(
                QStringLiteral("Column '%1' holds no value").arg(rows.columns()[column]));
}
} // namespace

ScheduleTreeModel::ScheduleTreeModel(QObject* parent)
    : QAbstractItemModel(parent)
{}

ScheduleTreeModel::Group ScheduleTreeModel::oneGroup(const QDate& date,
                                                     QString (*text)(const QDate&),
                                                     const DbSnapshotPtr& rows)
{
    Group g{date, text, rows, std::make_shared<const ScheduleColumns>(*rows), {}, {}};
    const int n = rows->rowCount();
    g.members.reserve(size_t(n));
    for (int r = 0; r < n; ++r) {
        requireValues(*rows, *g.columns, r);
        g.members.push_back(r);
    }
    return g;
}

void ScheduleTreeModel::groupByDate(const DbSnapshotPtr& rows, std::vector<Group>& into,
                                    QString (*text)(const QDate&))
{
    const auto columns = std::make_shared<const ScheduleColumns>(*rows);
    const int n = rows->rowCount();
    double current = std::nan("");
    for (int r = 0; r < n; ++r) {
        requireValues(*rows, *columns, r);
        const double day = std::trunc(rows->dateTime(r, columns->rcDate));
        if (!(day == current)) {
            const QDate date = DayNumber::toDate(day);
            into.push_back(Group{date, text, rows, columns, {}, {}});
            current = day;
        }
        into.back().members.push_back(r);
    }
}

void ScheduleTreeModel::setGroups(std::vector<Group> groups)
{
    beginResetModel();
    m_groups = std::move(groups);
    endResetModel();
}

void ScheduleTreeModel::setIcons(QIcon dateIcon, const QIcon (&statusIcons)[5])
{
    m_dateIcon = std::move(dateIcon);
    for (int i = 0; i < 5; ++i)
        m_statusIcons[i] = statusIcons[i];
}

bool ScheduleTreeModel::isScheduleNode(const QModelIndex& index) const
{
    return index.isValid() && index.internalId() > 0;
}

qint64 ScheduleTreeModel::scheduleId(const QModelIndex& index) const
{
    if (!isScheduleNode(index))
        return 0;
    const Group& g = m_groups[size_t(index.internalId() - 1)];
    return g.rows->integer(g.members[size_t(index.row())], g.columns->id);
}

QDate ScheduleTreeModel::date(const QModelIndex& index) const
{
    if (!index.isValid())
        return QDate();
    const size_t groupIndex =
        isScheduleNode(index) ? size_t(index.internalId() - 1) : size_t(index.row());
    return m_groups[groupIndex].date;
}

QModelIndex ScheduleTreeModel::indexOfSchedule(qint64 id) const
{
    for (size_t g = 0; g < m_groups.size(); ++g) {
        const Group& group = m_groups[g];
        for (size_t i = 0; i < group.members.size(); ++i)
            if (group.rows->integer(group.members[i], group.columns->id) == id)
                return createIndex(int(i), 0, quintptr(g + 1));
    }
    return QModelIndex();
}

void ScheduleTreeModel::removeScheduleNode(const QModelIndex& index)
{
    if (!isScheduleNode(index))
        return;
    const size_t g = size_t(index.internalId() - 1);
    beginRemoveRows(index.parent(), index.row(), index.row());
    m_groups[g].members.erase(m_groups[g].members.begin() + index.row());
    endRemoveRows();
}

QModelIndex ScheduleTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return QModelIndex();
    if (!parent.isValid())
        return row < int(m_groups.size()) ? createIndex(row, 0, quintptr(0)) : QModelIndex();
    if (isScheduleNode(parent))
        return QModelIndex();
    const Group& g = m_groups[size_t(parent.row())];
    return row < int(g.members.size()) ? createIndex(row, 0, quintptr(parent.row() + 1))
                                       : QModelIndex();
}

QModelIndex ScheduleTreeModel::parent(const QModelIndex& child) const
{
    if (!isScheduleNode(child))
        return QModelIndex();
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int ScheduleTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return int(m_groups.size());
    if (isScheduleNode(parent) || parent.column() != 0)
        return 0;
    return int(m_groups[size_t(parent.row())].members.size());
}

int ScheduleTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

Qt::ItemFlags ScheduleTreeModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QVariant ScheduleTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    if (!isScheduleNode(index)) {
        const Group& g = m_groups[size_t(index.row())];
        switch (role) {
        case Qt::DisplayRole:
            if (!m_showLunar)
                return g.text(g.date);
            // Drawn at every paint: the lunar arithmetic runs once per node.
            if (g.lunarText.isEmpty())
                g.lunarText = AssistantLogic::withLunarDay(g.text(g.date), g.date, m_fits);
            return g.lunarText;
        case Qt::AccessibleTextRole: // read as one line, however it is drawn
            return m_showLunar ? AssistantLogic::withLunarDay(g.text(g.date), g.date)
                               : g.text(g.date);
        case Qt::DecorationRole:
            return m_dateIcon;
        case DateRole:
            return g.date;
        default:
            return QVariant();
        }
    }
    const Group& g = m_groups[size_t(index.internalId() - 1)];
    const int row = g.members[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return AssistantLogic::scheduleNodeText(
            DayNumber::toTime(g.rows->dateTime(row, g.columns->rcTime)),
            g.rows->text(row, g.columns->title));
    case Qt::DecorationRole: {
        const int zt = g.rows->integer(row, g.columns->ztFlag);
        return zt >= 1 && zt <= 4 ? QVariant(m_statusIcons[zt]) : QVariant();
    }
    case IdRole:
        return g.rows->integer(row, g.columns->id);
    case DateRole:
        return g.date;
    default:
        return QVariant();
    }
}
