#include "views/rccx.h"

#include "platform/Clock.h"
#include "platform/Cp936.h"
#include "platform/Dialogs.h"
#include "resources/Pictures.h"
#include "shell/Forms.h"
#include "shell/settings/ColorText.h"
#include "shell/settings/Settings.h"
#include "ui_rccx.h"
#include "views/ScheduleGrid.h"
#include "views/ViewsLogic.h"
#include "views/showbz.h"
#include "widgets/DateTimeEdits.h"
#include "widgets/PriorityDelegate.h"
#include "widgets/SnapshotModel.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>

TrccxForm* rccxForm = nullptr;

namespace {
// clActiveCaption: the labels and the header row.
constexpr quint32 activeCaption = 0xFF000002;
const QColor moneyGreen(192, 220, 192);
const QColor lime(0, 255, 0);
const QColor gridLines(240, 251, 255);

void colourText(QWidget* w, const QColor& c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}

void fill(QWidget* w, const QColor& c)
{
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
}
} // namespace

TrccxForm::TrccxForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TrccxForm>())
{
    // Built once the main window is on screen (or at once, in tests): the
    // start shows nothing of it.
    Forms::build(this, [this] { build(); });
}

void TrccxForm::build()
{
    ui->setupUi(this);
    Forms::markAsForm(this);
    Forms::closeOnEscape(this);
    RzPageControl1 = ui->RzPageControl1;
    llTabSheet = ui->llTabSheet;
    cxTabSheet = ui->cxTabSheet;
    strGrid = ui->strGrid;
    StrGrid2 = ui->StrGrid2;
    cxComboBox = ui->cxComboBox;
    btEdit = ui->btEdit;
    yxjComboBox = ui->yxjComboBox;
    ztComboBox = ui->ztComboBox;
    yxjComboBox->addItems(Codes::priorityCaptions());
    ztComboBox->addItems(Codes::statusCaptions());
    rcDateEdit = ui->rcDateEdit;
    cxButton = ui->cxButton;

    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(511, 247);
    Forms::fixColours(this, Qt::white);
    fill(llTabSheet, moneyGreen);
    fill(cxTabSheet, moneyGreen);
    RzPageControl1->setTabIcon(0, Pictures::viewPicture(1));
    RzPageControl1->setTabIcon(1, Pictures::viewPicture(0));
    cxButton->setIcon(Pictures::viewPicture(0));
    colourText(ui->RzLabel1, ColorText::toQColor(activeCaption, palette()));
    colourText(ui->RzLabel2, ColorText::toQColor(activeCaption, palette()));
    yxjComboBox->hide();
    ztComboBox->hide();
    rcDateEdit->hide();
    Forms::nameInputsByLabels(this);

    m_browse.view = strGrid;
    m_result.view = StrGrid2;
    setUpGrid(m_browse, false);
    setUpGrid(m_result, true);
    strGridModel = m_browse.model;
    StrGrid2Model = m_result.model;

    Forms::connect(cxComboBox, &QComboBox::currentIndexChanged, this,
                   [this] { cxComboBoxChange(); });
    Forms::connect(cxButton, &QPushButton::clicked, this, [this] { cxButtonClick(); });
    Forms::connect(strGrid, &QAbstractItemView::doubleClicked, this, [this] { strGridDblClick(); });
    Forms::connect(StrGrid2, &QAbstractItemView::doubleClicked, this,
                   [this] { StrGrid2DblClick(); });
}

TrccxForm::~TrccxForm() = default;

void TrccxForm::setUpGrid(Grid& grid, bool isResult)
{
    // Cells are read from the grid's result only when they are drawn.
    QList<SnapshotModel::Column> columns;
    for (int c = 0; c < ViewsLogic::GridColumnCount; ++c) {
        columns.append(
            {ViewsLogic::gridHeader(c),
             [this, &grid, c, isResult](const DbSnapshot& rows, int row, int role) -> QVariant {
                 if (!grid.columns || c == ViewsLogic::FixedColumn)
                     return QVariant();
                 if (c != ViewsLogic::NoteColumn)
                     return role == Qt::DisplayRole
                                ? QVariant(ViewsLogic::cellText(rows, *grid.columns, row, c))
                                : QVariant();
                 if (isResult && !m_resultOpen)
                     return QVariant();
                 const bool note = ViewsLogic::hasNote(rows, *grid.columns, row);
                 if (role == Qt::DisplayRole)
                     return ViewsLogic::noteCellText(note);
                 if (role == Qt::ForegroundRole)
                     return ViewsLogic::noteCellColour(note);
                 return QVariant();
             }});
    }
    grid.model = new SnapshotModel(columns, this);
    grid.model->setHeaderRow(true);
    grid.view->setModel(grid.model);
    SnapshotModel* model = grid.model;
    grid.view->setItemDelegate(new PriorityDelegate(
        [model, caption = ColorText::toQColor(activeCaption, palette())](
            const QModelIndex& index) -> std::optional<QColor> {
            if (model->snapshotRow(index.row()) < 0)
                return caption;
            const QVariant colour = index.data(Qt::ForegroundRole);
            if (colour.isValid())
                return colour.value<QColor>();
            return std::nullopt;
        },
        grid.view));
    QPalette p = grid.view->palette();
    p.setColor(QPalette::Base, lime);
    p.setColor(QPalette::Mid, gridLines);
    grid.view->setPalette(p);
    sizeColumns(grid);
}

void TrccxForm::sizeColumns(Grid& grid)
{
    const QFontMetrics metrics(grid.view->font());
    QList<int> widths;
    for (int c = 0; c < ViewsLogic::GridColumnCount; ++c)
        widths << (c == ViewsLogic::TimeColumn ? ViewsLogic::timeColumnWidth([&](const QString& t) {
            return metrics.horizontalAdvance(t);
        })
                                               : ViewsLogic::gridWidth(c));
    grid.view->setColumnWidths(widths);
}

void TrccxForm::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        Forms::centreOverMainWindow(this);
        runGuarded([this] { FormShow(); }, this);
    }
    QWidget::showEvent(event);
}

void TrccxForm::closeResult()
{
    ADOQuery2->close();
    ADOQuery2->setSql(QString());
    m_resultOpen = false;
    StrGrid2->viewport()->update();
}

void TrccxForm::gridFill(Grid& grid, const DbSnapshotPtr& rows)
{
    grid.columns.reset();
    if (rows)
        grid.columns.emplace(*rows);
    grid.model->setSnapshot(rows);
    sizeColumns(grid);
}

void TrccxForm::FormShow()
{
    closeResult();
    ScheduleData::openAll(*adoquery1);
    gridFill(m_browse, adoquery1->snapshot());
    gridFill(m_result, nullptr); // the header row alone
    cxComboBox->setCurrentIndex(0);
    cxComboBoxChange();
    // The purge comes after the fill: the rows it deletes stay listed until
    // the next showing.
    const Settings::Reader settings;
    const int deleteRc = settings.integer(Settings::deleteRc);
    const int days = settings.integer(Settings::oldrcDays);
    if (const std::optional<int> n = ViewsLogic::purgeDays(deleteRc, days))
        ScheduleData::purgeOlderThan(*cxQuery, *n, Clock::today());
}

void TrccxForm::cxComboBoxChange()
{
    const int item = cxComboBox->currentIndex();
    btEdit->setVisible(item == 0);
    yxjComboBox->setVisible(item == 1);
    ztComboBox->setVisible(item == 2);
    rcDateEdit->setVisible(item == 3);
}

void TrccxForm::cxButtonClick()
{
    // Until a query succeeds again the result grid keeps its rows, but not
    // their notes.
    closeResult();
    switch (cxComboBox->currentIndex()) {
    case 0:
        if (Cp936::trimmed(btEdit->text()).isEmpty()) {
            Dialogs::instance().message(this, QStringLiteral("请填写日程标题！"));
            return;
        }
        ScheduleData::openTitleEndsWith(*ADOQuery2, btEdit->text());
        break;
    case 1:
        ScheduleData::openByPriority(*ADOQuery2, yxjComboBox->currentIndex());
        break;
    case 2:
        ScheduleData::openByStatus(*ADOQuery2, ztComboBox->currentIndex() + 1);
        break;
    case 3:
        if (Cp936::trimmed(rcDateEdit->text()).isEmpty()) {
            Dialogs::instance().message(this, QStringLiteral("请选择日程日期！"));
            return;
        }
        ScheduleData::openByDate(*ADOQuery2, rcDateEdit->date());
        break;
    default:
        return;
    }
    gridFill(m_result, ADOQuery2->snapshot());
    m_resultOpen = true;
}

void TrccxForm::strGridDblClick()
{
    openNote(m_browse);
}

void TrccxForm::StrGrid2DblClick()
{
    if (m_resultOpen)
        openNote(m_result);
}

void TrccxForm::openNote(const Grid& grid)
{
    // The note column wherever the user has moved it; the header row has none.
    const QModelIndex cell = grid.view->currentIndex();
    if (!cell.isValid() || cell.column() != ViewsLogic::NoteColumn)
        return;
    const DbSnapshotPtr rows = grid.model->snapshot();
    const int row = grid.model->snapshotRow(cell.row());
    if (row < 0 || !rows || row >= rows->rowCount() || !grid.columns || !showbzForm)
        return;
    showbzForm->scheduleId = rows->integer(row, grid.columns->id);
    if (ViewsLogic::hasNote(*rows, *grid.columns, row))
        Dialogs::instance().showModal(showbzForm, this);
}
