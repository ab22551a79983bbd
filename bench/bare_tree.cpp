// The baseline of the start-up benchmark: a bare Qt program that opens the
// same database, runs the tree's three statements and shows a tree of their
// rows, grouped by date, in a window of the same title and size.
//   bare_tree PATH/assistant.mdb
#include <QApplication>
#include <QDate>
#include <QTreeWidget>
#include <sqlite3.h>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return 1;
    const double today = double(QDate(1899, 12, 30).daysTo(QDate::currentDate()));
    QTreeWidget tree;
    tree.setWindowTitle(QStringLiteral("时雀"));
    tree.setHeaderHidden(true);
    tree.setUniformRowHeights(true);
    tree.resize(232, 427);
    const char* statements[3] = {"select * from main where rc_date=:dt order by rc_time",
                                 "select * from main where rc_date=:dt order by rc_time",
                                 "select * from main where rc_date>:dt order by rc_date,rc_time"};
    const double params[3] = {today, today + 1, today + 1};
    QList<QTreeWidgetItem*> groups;
    for (int i = 0; i < 3; ++i) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, statements[i], -1, &s, nullptr);
        sqlite3_bind_double(s, 1, params[i]);
        QTreeWidgetItem* group = nullptr;
        double day = -1;
        while (sqlite3_step(s) == SQLITE_ROW) {
            const double d = sqlite3_column_double(s, 3);
            if (!group || (i == 2 && d != day)) {
                day = d;
                group = new QTreeWidgetItem(
                    QStringList{QDate(1899, 12, 30).addDays(qint64(d)).toString()});
                groups << group;
            }
            new QTreeWidgetItem(group, QStringList{QString::fromUtf8(reinterpret_cast<const char*>(
                                           sqlite3_column_text(s, 1)))});
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    tree.addTopLevelItems(groups);
    if (!groups.isEmpty())
        groups.first()->setExpanded(true);
    tree.show();
    return app.exec();
}
