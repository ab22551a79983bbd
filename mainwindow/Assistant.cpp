// The main window's creation, its menus and the commands on the tree.
#include "mainwindow/Assistant.h"

#include "editing/addrc.h"
#include "editing/xgrc.h"
#include "mainwindow/AssistantLogic.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "reminders/tx.h"
#include "resources/Pictures.h"
#include "settings/gxsz.h"
#include "shell/Forms.h"
#include "shell/data/Schedules.h"
#include "shell/public.h"
#include "shell/settings/ColorText.h"
#include "shell/settings/Settings.h"
#include "syncwindow/SyncRunner.h"
#include "syncwindow/rltb.h"
#include "ui_Assistant.h"
#include "views/rccx.h"
#include "views/tjbz.h"
#include "widgets/DateTimeEdits.h"
#include "widgets/HoverTip.h"
#include "widgets/PriorityDelegate.h"

#include <QActionGroup>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

TassistantForm* assistantForm = nullptr;

namespace {
// clBtnHighlight: the tree's background.
constexpr quint32 treeBackground = 0xFF000014;
// clActiveCaption: the tree's text and Label3's.
constexpr quint32 activeCaption = 0xFF000002;

QFont uiFont(int pixels)
{
    QFont f(QStringLiteral("Noto Sans CJK SC"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    return f;
}
} // namespace

TassistantForm::TassistantForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TassistantForm>())
{
    ui->setupUi(this);
    Forms::markAsForm(this);
    takeControls();
    setUpWindow();
    setUpTree();
    setUpWorkNotePanel();
    buildMenus();
    startTimers();
    connect(qApp, &QGuiApplication::focusWindowChanged, this,
            [this](QWindow* now) { onFocusWindowChanged(now); });
    Dialogs::setDefaultOwner(this);

    runGuarded([this] { FormCreate(); }, this);
}

void TassistantForm::takeControls()
{
    Panel1 = ui->Panel1;
    Label1 = ui->Label1;
    rcTree = ui->rcTree;
    menuButton = ui->menuButton;
    cxButton = ui->cxButton;
    zjButton = ui->zjButton;
    zjGroupBox = ui->zjGroupBox;
    Label3 = ui->Label3;
    zjMemo = ui->zjMemo;
    saveZJButton = ui->saveZJButton;
    readZJButton = ui->readZJButton;
}

void TassistantForm::setUpWindow()
{
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    followTray(); // a tool window, out of the taskbar, while there is a tray
    setWindowIcon(Pictures::appIcon());
    setFixedSize(232, 427);

    setFont(uiFont(12));
    Forms::fixColours(this, Qt::white);

    Label1->setFont(uiFont(12));
    Label1->setTextFormat(Qt::PlainText); // the user's marquee text, as typed
    QPalette lime = Label1->palette();
    lime.setColor(QPalette::WindowText, ColorText::toQColor(0x00FF00));
    Label1->setPalette(lime);
    Label1->adjustSize();

    Forms::connect(menuButton, &QPushButton::clicked, this, [this] { menuButtonClick(); });
    Forms::connect(cxButton, &QPushButton::clicked, this, [this] { cxButton1Click(); });
    Forms::connect(zjButton, &QPushButton::clicked, this, [this] { zjButtonClick(); });
    zjButton->setAccessibleName(
        AssistantLogic::toggleWidth(AssistantLogic::Geometry::wideWidth).accessibleName);
    auto* add = new QShortcut(QKeySequence::New, this);
    add->setObjectName(QStringLiteral("addShortcut"));
    Forms::connect(add, &QShortcut::activated, this, [this] { tjrcClick(); });
}

void TassistantForm::setUpTree()
{
    rcTreeModel = new ScheduleTreeModel(this);
    QIcon statusIcons[5];
    for (int i = 1; i <= 4; ++i)
        statusIcons[i] = Pictures::imageList1(i);
    rcTreeModel->setIcons(Pictures::imageList1(0), statusIcons);
    rcTree->setModel(rcTreeModel);
    rcTree->setFont(uiFont(13));
    QPalette tree = rcTree->palette();
    tree.setColor(QPalette::Base, ColorText::toQColor(treeBackground, palette()));
    tree.setColor(QPalette::Text, ColorText::toQColor(activeCaption, palette()));
    tree.setColor(QPalette::Highlight, QColor(0xd6, 0xe8, 0xfa));
    rcTree->setPalette(tree);
    rcTree->setIconSize(QSize(16, 16));
    rcTree->setItemDelegate(new PriorityDelegate(
        [this](const QModelIndex& index) -> std::optional<QColor> {
            if (!rcTreeModel->isScheduleNode(index))
                return std::nullopt;
            return priorityColor(rcTreeModel->scheduleId(index));
        },
        rcTree));
    rcTree->setMouseTracking(true);
    rcTree->viewport()->setCursor(Qt::PointingHandCursor);
    rcTree->viewport()->installEventFilter(this);
    rcTree->installEventFilter(this);
    connect(rcTree, &QTreeView::expanded, this, [this] { rcTree->viewport()->update(); });
    connect(rcTree, &QTreeView::collapsed, this, [this] { rcTree->viewport()->update(); });
    hoverTip = new HoverTip(this);
}

void TassistantForm::setUpWorkNotePanel()
{
    Label3->setFont(uiFont(10));
    QPalette caption = Label3->palette();
    caption.setColor(QPalette::WindowText, ColorText::toQColor(activeCaption, palette()));
    Label3->setPalette(caption);
    zjMemo->setFont(uiFont(12));
    Forms::connect(saveZJButton, &QPushButton::clicked, this, [this] { saveZJButtonClick(); });
    Forms::connect(readZJButton, &QPushButton::clicked, this, [this] { readZJButtonClick(); });
}

void TassistantForm::startTimers()
{
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(300);
    Forms::connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
    m_monotonic.start();

    // Started by the first activation, with the period of the settings.
    RemindTimer = new QTimer(this);
    RemindTimer->setObjectName(QStringLiteral("RemindTimer"));
    RemindTimer->setInterval(60000);
    // A coarse timer may slip by 5% of its period: three minutes of an hour.
    RemindTimer->setTimerType(Qt::PreciseTimer);
    Forms::connect(RemindTimer, &QTimer::timeout, this, [this] { RemindTimerTimer(); });
}

TassistantForm::~TassistantForm()
{
    if (assistantForm == this)
        assistantForm = nullptr;
}

TassistantForm::Probe& TassistantForm::probe()
{
    if (!m_probe)
        m_probe = std::make_unique<Probe>();
    return *m_probe;
}

void TassistantForm::FormCreate()
{
    Settings::writeFirstRunDefaults();
    refreshFlag = 0;
    firstActivation = 1;
    m_lastShownId = -1;
}

void TassistantForm::buildMenus()
{
    auto item = [this](QMenu* menu, const char* name, const QString& caption, int picture,
                       void (TassistantForm::*handler)()) {
        QAction* a = menu->addAction(Pictures::imageList2(picture), caption);
        a->setObjectName(QLatin1String(name));
        Forms::connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return a;
    };

    ItemsMenu = new QMenu(this);
    ItemsMenu->setObjectName(QStringLiteral("ItemsMenu"));
    ztszMenu = ItemsMenu->addMenu(Pictures::imageList2(12), QStringLiteral("状态设置"));
    ztszMenu->setObjectName(QStringLiteral("ztszMenu"));
    ztszMenu->menuAction()->setObjectName(QStringLiteral("ztsz"));
    Forms::connect(ztszMenu, &QMenu::aboutToShow, this, [this] { ztszClick(); });
    m_statusGroup = new QActionGroup(this);
    m_statusGroup->setExclusive(true);
    // One item per status code, in code order, captioned as every window does.
    const struct {
        const char* name;
        int picture;
        void (TassistantForm::*handler)();
    } statuses[4] = {{"mwc", 14, &TassistantForm::mwcClick},
                     {"jxz", 16, &TassistantForm::jxzClick},
                     {"ywc", 17, &TassistantForm::ywcClick},
                     {"qx", 15, &TassistantForm::qxClick}};
    for (int i = 0; i < 4; ++i) {
        QAction* a = item(ztszMenu, statuses[i].name, Codes::statusCaption(i + 1),
                          statuses[i].picture, statuses[i].handler);
        a->setCheckable(true);
        m_statusGroup->addAction(a);
        // Clicking an item does not move the mark; only opening the submenu does.
        connect(a, &QAction::triggered, this, [this] {
            if (m_statusMark)
                m_statusMark->setChecked(true);
        });
        m_statusItems[i] = a;
    }
    m_statusMark = m_statusItems[0];
    m_statusMark->setChecked(true);
    item(ItemsMenu, "tjbz", QStringLiteral("添加备注"), 11, &TassistantForm::tjbzClick);
    item(ItemsMenu, "bjrc", QStringLiteral("编辑日程"), 9, &TassistantForm::bjrcClick);
    item(ItemsMenu, "scrc", QStringLiteral("删除日程"), 8, &TassistantForm::scrcClick);

    rootMenu = new QMenu(this);
    rootMenu->setObjectName(QStringLiteral("rootMenu"));
    item(rootMenu, "roottjrc", QStringLiteral("添加日程"), 1, &TassistantForm::roottjrcClick);

    MainMenu = new QMenu(this);
    MainMenu->setObjectName(QStringLiteral("MainMenu"));
    item(MainMenu, "showmain", QStringLiteral("显示主窗口"), 0, &TassistantForm::showmainClick);
    item(MainMenu, "tjrc", QStringLiteral("添加日程"), 1, &TassistantForm::tjrcClick);
    item(MainMenu, "gxsz", QStringLiteral("个性设置"), 2, &TassistantForm::gxszClick);
    item(MainMenu, "rltb", QStringLiteral("日历同步"), 2, &TassistantForm::rltbClick);
    item(MainMenu, "tx", QStringLiteral("日程提醒"), 3, &TassistantForm::txClick);
    item(MainMenu, "N1", QStringLiteral("查阅工作笔记"), 14, &TassistantForm::N1Click);
    item(MainMenu, "help", QStringLiteral("帮助"), 5, &TassistantForm::helpClick);
    item(MainMenu, "leave", QStringLiteral("退出"), 13, &TassistantForm::leaveClick);
    for (QMenu* m : {ItemsMenu, ztszMenu, rootMenu, MainMenu})
        m->setFont(uiFont(12));
}

// ---- tree commands -------------------------------------------------------

void TassistantForm::rcTreeMouseDown(Qt::MouseButton button, const QPoint& pos)
{
    if (button != Qt::RightButton)
        return;
    const QModelIndex node = rcTree->indexAt(pos);
    if (!node.isValid())
        return;
    rcTree->setCurrentIndex(node);
    (rcTreeModel->isScheduleNode(node) ? ItemsMenu : rootMenu)->popup(Desktop::cursorPos());
}

QModelIndex TassistantForm::selectedNode() const
{
    return rcTree->currentIndex();
}

QModelIndex TassistantForm::selectedScheduleNode() const
{
    const QModelIndex node = selectedNode();
    return rcTreeModel->isScheduleNode(node) ? node : QModelIndex();
}

int TassistantForm::statusMark() const
{
    for (int i = 0; i < 4; ++i)
        if (m_statusItems[i] == m_statusMark)
            return i + 1;
    return 0;
}

void TassistantForm::ztszClick()
{
    const QModelIndex node = selectedScheduleNode();
    if (!node.isValid())
        return;
    const std::optional<int> code = ScheduleData::statusOf(*allrc_Query, idOf(node));
    if (code && *code >= 1 && *code <= 4)
        m_statusMark = m_statusItems[*code - 1];
    m_statusMark->setChecked(true);
}

void TassistantForm::setStatus(int code)
{
    const QModelIndex node = selectedScheduleNode();
    if (!node.isValid())
        return;
    ScheduleData::setStatus(*allrc_Query, idOf(node), code);
    refreshFlag = 1;
}

void TassistantForm::scrcClick()
{
    const QModelIndex node = selectedScheduleNode();
    if (!node.isValid())
        return;
    ScheduleData::remove(*allrc_Query, idOf(node));
    rcTreeModel->removeScheduleNode(node);
    refreshFlag = 1;
}

void TassistantForm::tjbzClick()
{
    const QModelIndex node = selectedNode();
    if (!node.isValid() || !tjbzForm)
        return;
    tjbzForm->scheduleId = int(idOf(node));
    Dialogs::instance().showModal(tjbzForm, this);
}

void TassistantForm::bjrcClick()
{
    const QModelIndex node = selectedNode();
    if (!node.isValid() || !xgrcForm)
        return;
    xgrcForm->scheduleId = int(idOf(node));
    Dialogs::instance().showModal(xgrcForm, this); // it sets refreshFlag after a save
}

void TassistantForm::roottjrcClick()
{
    const QModelIndex node = selectedNode();
    if (!node.isValid())
        return;
    openAddWindow(rcTreeModel->date(node));
}

void TassistantForm::tjrcClick()
{
    openAddWindow(std::nullopt);
}

void TassistantForm::openAddWindow(const std::optional<QDate>& date)
{
    // One add window at most: an open one comes to the front (with the date
    // when one was given); it sets refreshFlag itself when it closes.
    if (addrcForm) {
        if (date)
            addrcForm->date_value->setDate(*date);
        addrcForm->raise();
        addrcForm->activateWindow();
        return;
    }
    addrcForm = new TaddrcForm();
    if (date)
        addrcForm->date_value->setDate(*date);
    Dialogs::instance().showModal(addrcForm, this);
}

void TassistantForm::gxszClick()
{
    // One settings window at most; it sets refreshFlag itself when saved.
    if (gxszForm) {
        gxszForm->raise();
        gxszForm->activateWindow();
        return;
    }
    gxszForm = new TgxszForm();
    Dialogs::instance().showModal(gxszForm, this);
}

void TassistantForm::rltbClick()
{
    if (rltbForm) {
        rltbForm->raise();
        rltbForm->activateWindow();
        return;
    }
    rltbForm = new TrltbForm();
    Forms::centreOverMainWindow(rltbForm);
    rltbForm->show();
}

void TassistantForm::txClick()
{
    // No due test here: the window itself lists what is due, or says nothing is.
    if (txForm)
        txForm->placeAndShow(Settings::readInteger(Settings::txWinPos));
}

void TassistantForm::helpClick()
{
    Forms::openHelp(this);
}

void TassistantForm::menuButtonClick()
{
    MainMenu->popup(Desktop::cursorPos());
}

void TassistantForm::cxButton1Click()
{
    if (rccxForm)
        Dialogs::instance().showModal(rccxForm, this);
}
