#pragma once

#include "platform/Database.h"
#include "shell/data/Schedules.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QIcon>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The schedule tree as a model over the rebuild's three reads: one date node
// per group, one schedule node per row of a result. Node texts and pictures
// are made when the view draws the node, not when the tree is rebuilt.
class ScheduleTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    static constexpr int DateRole = Qt::UserRole + 1; // a date node's date
    static constexpr int IdRole = Qt::UserRole + 2;   // a schedule node's id

    // One date node and the rows of a result under it. Its text is made
    // when the node is drawn, by the function that names its date.
    struct Group {
        QDate date;
        QString (*text)(const QDate&);
        DbSnapshotPtr rows;
        std::shared_ptr<const ScheduleColumns> columns;
        std::vector<int> members;  // rows of the result, in order
        mutable QString lunarText; // the node's text with its lunar day, made once
    };

    explicit ScheduleTreeModel(QObject* parent = nullptr);

    // The groups of a result: all its rows under one date (today, tomorrow),
    // or one group per rc_date (the later dates). Raises for a row whose
    // title, time or status holds no value, after the rows before it.
    static Group oneGroup(const QDate& date, QString (*text)(const QDate&),
                          const DbSnapshotPtr& rows);
    static void groupByDate(const DbSnapshotPtr& rows, std::vector<Group>& into,
                            QString (*text)(const QDate&));

    void setGroups(std::vector<Group> groups); // replaces every node
    void setIcons(QIcon dateIcon, const QIcon (&statusIcons)[5]);
    // Date nodes add their lunar day, on a second line where the first
    // would not fit (fits(text)).
    void setShowLunar(bool on, std::function<bool(const QString&)> fits = {})
    {
        m_showLunar = on;
        m_fits = std::move(fits);
    }

    int groupCount() const { return int(m_groups.size()); }
    const Group& group(int i) const { return m_groups[size_t(i)]; }
    bool isScheduleNode(const QModelIndex& index) const;
    qint64 scheduleId(const QModelIndex& index) const; // 0 for a date node
    QDate date(const QModelIndex& index) const;        // the date node's date
    QModelIndex indexOfSchedule(qint64 id) const;
    void removeScheduleNode(const QModelIndex& index);

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::vector<Group> m_groups;
    QIcon m_dateIcon;
    QIcon m_statusIcons[5];
    bool m_showLunar = false;
    std::function<bool(const QString&)> m_fits;
};
