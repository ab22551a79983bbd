#pragma once

#include "shell/data/Schedules.h"
#include "shell/data/dataForm.h"

#include <QWidget>
#include <memory>
#include <optional>

class DateEdit;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class ScheduleGrid;
class SnapshotModel;

namespace Ui {
class TrccxForm;
}

// The query window: every schedule in the browse grid, and the schedules of
// one title, priority, status or date in the result grid. Created at start,
// hidden when closed; every showing reads both grids afresh and runs the
// purge of old schedules when the settings ask for it.
class TrccxForm : public QWidget {
    Q_OBJECT
public:
    explicit TrccxForm(QWidget* parent = nullptr);
    ~TrccxForm() override;

    // Controls, by the names the window gives them.
    QTabWidget* RzPageControl1 = nullptr;
    QWidget* llTabSheet = nullptr;
    QWidget* cxTabSheet = nullptr;
    ScheduleGrid* strGrid = nullptr;
    ScheduleGrid* StrGrid2 = nullptr;
    QComboBox* cxComboBox = nullptr;
    QLineEdit* btEdit = nullptr;
    QComboBox* yxjComboBox = nullptr;
    QComboBox* ztComboBox = nullptr;
    DateEdit* rcDateEdit = nullptr;
    QPushButton* cxButton = nullptr;
    SnapshotModel* strGridModel = nullptr;
    SnapshotModel* StrGrid2Model = nullptr;

    void FormShow();
    void cxComboBoxChange();
    void cxButtonClick();
    void strGridDblClick();
    void StrGrid2DblClick();

    // The result grid's note cells and double-clicks work only while its
    // result is open: from a query that succeeded until the next one starts.
    bool resultOpen() const { return m_resultOpen; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    struct Grid {
        ScheduleGrid* view = nullptr;
        SnapshotModel* model = nullptr;
        std::optional<ScheduleColumns> columns;
    };
    void setUpGrid(Grid& grid, bool isResult);
    void gridFill(Grid& grid, const DbSnapshotPtr& rows);
    void sizeColumns(Grid& grid);
    void openNote(const Grid& grid);
    void closeResult();

    std::unique_ptr<Ui::TrccxForm> ui;
    Grid m_browse, m_result;
    WindowQuery adoquery1, ADOQuery2, cxQuery;
    bool m_resultOpen = false;
};

extern TrccxForm* rccxForm;
