#include "mainwindow/Assistant.h"

#include "editing/addrc.h"
#include "editing/xgrc.h"
#include "mainwindow/AssistantLogic.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Cp936.h"
#include "platform/DayNumber.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "platform/Formats.h"
#include "platform/ProgramDir.h"
#include "platform/WindowManager.h"
#include "resources/Pictures.h"
#include "shell/Application.h"
#include "shell/ColorText.h"
#include "shell/Settings.h"
#include "shell/Statements.h"
#include "shell/dataForm.h"
#include "shell/public.h"
#include "ui_Assistant.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QWindow>

TassistantForm* assistantForm = nullptr;

using namespace AssistantLogic;

namespace {
// The layout's outer sizes include a frame of this many pixels.
constexpr int frameExtraWidth = 8;
constexpr int frameExtraHeight = 34;
// The smallest a captioned window gets: a collapsed window at top -30 keeps
// this less 30 pixels on screen, a strip the cursor can move into.
constexpr int minimumFrameHeight = 38;
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

// Draws each schedule node in its priority colour, asked afresh at every drawing.
class PriorityDelegate : public QStyledItemDelegate {
public:
    PriorityDelegate(TassistantForm* form, QTreeWidget* tree)
        : QStyledItemDelegate(tree)
        , m_form(form)
        , m_tree(tree)
    {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->font = m_tree->font(); // reset to the tree's own font for every node
        QColor color = m_tree->palette().color(QPalette::Text);
        if (index.parent().isValid())
            color = m_form->priorityColor(index.data(TassistantForm::IdRole).toInt());
        option->palette.setColor(QPalette::Text, color);
        option->palette.setColor(QPalette::HighlightedText, color);
    }

private:
    TassistantForm* m_form;
    QTreeWidget* m_tree;
};
} // namespace

TassistantForm::TassistantForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TassistantForm>())
{
    ui->setupUi(this);
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

    // Without a tray to come back from, the window keeps its taskbar entry
    // and minimises as usual rather than hiding out of reach.
    m_trayMode = QSystemTrayIcon::isSystemTrayAvailable();
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                            Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint;
    if (m_trayMode)
        flags |= Qt::Tool;
    setWindowFlags(flags);
    setWindowIcon(Pictures::appIcon());
    setFixedSize(232, 427);

    setFont(uiFont(12));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setStyleSheet(QStringLiteral(
        "QPushButton { background: white; border: 1px solid #9a9a9a; border-radius: 2px; }"
        "QPushButton:hover { background: #fff36b; border-color: #c9a800; }"
        "QPushButton:pressed { background: #f0dc3a; }"
        "QGroupBox#zjGroupBox { background: white; border: 1px solid red; margin-top: 7px; }"
        "QGroupBox#zjGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 2px; }"));

    Label1->setFont(uiFont(12));
    QPalette lime = Label1->palette();
    lime.setColor(QPalette::WindowText, ColorText::toQColor(0x00FF00));
    Label1->setPalette(lime);
    Label1->adjustSize();

    rcTree->setFont(uiFont(13));
    QPalette tree = rcTree->palette();
    tree.setColor(QPalette::Base, ColorText::toQColor(treeBackground));
    tree.setColor(QPalette::Text, ColorText::toQColor(activeCaption));
    tree.setColor(QPalette::Highlight, QColor(0xd6, 0xe8, 0xfa));
    rcTree->setPalette(tree);
    rcTree->setIconSize(QSize(16, 16));
    rcTree->setItemDelegate(new PriorityDelegate(this, rcTree));
    rcTree->setMouseTracking(true);
    rcTree->viewport()->setCursor(Qt::PointingHandCursor);
    rcTree->viewport()->installEventFilter(this);
    connect(rcTree, &QTreeWidget::itemExpanded, this, [this] { rcTree->viewport()->update(); });
    connect(rcTree, &QTreeWidget::itemCollapsed, this, [this] { rcTree->viewport()->update(); });

    Label3->setFont(uiFont(10));
    QPalette caption = Label3->palette();
    caption.setColor(QPalette::WindowText, ColorText::toQColor(activeCaption));
    Label3->setPalette(caption);
    zjMemo->setFont(uiFont(12));

    auto guarded = [](auto handler) {
        return [handler] {
            runGuarded(handler);
        };
    };
    connect(menuButton, &QPushButton::clicked, this, guarded([this] { menuButtonClick(); }));
    connect(cxButton, &QPushButton::clicked, this, guarded([this] { cxButton1Click(); }));
    connect(zjButton, &QPushButton::clicked, this, guarded([this] { zjButtonClick(); }));
    connect(saveZJButton, &QPushButton::clicked, this, guarded([this] { saveZJButtonClick(); }));
    connect(readZJButton, &QPushButton::clicked, this, guarded([this] { readZJButtonClick(); }));

    buildMenus();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(300);
    connect(Timer1, &QTimer::timeout, this, guarded([this] { Timer1Timer(); }));
    Timer1->start();

    connect(qApp, &QGuiApplication::focusWindowChanged, this,
            [this](QWindow* now) { onFocusWindowChanged(now); });

    runGuarded([this] { FormCreate(); });
}

TassistantForm::~TassistantForm()
{
    if (assistantForm == this)
        assistantForm = nullptr;
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
        connect(a, &QAction::triggered, this,
                [this, handler] { runGuarded([=] { (this->*handler)(); }); });
        return a;
    };

    ItemsMenu = new QMenu(this);
    ItemsMenu->setObjectName(QStringLiteral("ItemsMenu"));
    ztszMenu = ItemsMenu->addMenu(Pictures::imageList2(12), QStringLiteral("状态设置"));
    ztszMenu->setObjectName(QStringLiteral("ztszMenu"));
    ztszMenu->menuAction()->setObjectName(QStringLiteral("ztsz"));
    connect(ztszMenu, &QMenu::aboutToShow, this, [this] { runGuarded([this] { ztszClick(); }); });
    m_statusGroup = new QActionGroup(this);
    m_statusGroup->setExclusive(true);
    const struct {
        const char* name;
        const char* caption;
        int picture;
        void (TassistantForm::*handler)();
    } statuses[4] = {{"mwc", "没有完成", 14, &TassistantForm::mwcClick},
                     {"jxz", "进行中", 16, &TassistantForm::jxzClick},
                     {"ywc", "已经完成", 17, &TassistantForm::ywcClick},
                     {"qx", "取消", 15, &TassistantForm::qxClick}};
    for (int i = 0; i < 4; ++i) {
        QAction* a = item(ztszMenu, statuses[i].name, QString::fromUtf8(statuses[i].caption),
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
    item(MainMenu, "tx", QStringLiteral("日程提醒"), 3, &TassistantForm::txClick);
    item(MainMenu, "N1", QStringLiteral("查阅工作笔记"), 14, &TassistantForm::N1Click);
    item(MainMenu, "help", QStringLiteral("帮助"), 5, &TassistantForm::helpClick);
    item(MainMenu, "leave", QStringLiteral("退出"), 13, &TassistantForm::leaveClick);
    for (QMenu* m : {ItemsMenu, ztszMenu, rootMenu, MainMenu})
        m->setFont(uiFont(12));
}

DbQuery& TassistantForm::query(std::unique_ptr<DbQuery>& q)
{
    // The data module is created after this window: the queries follow on first use.
    if (!q) {
        if (!DataModule1)
            throw AppError(QStringLiteral("The data module does not exist"));
        q = std::make_unique<DbQuery>(DataModule1->ADOConnection1);
    }
    return *q;
}

DbQuery& TassistantForm::openSchedule(int id)
{
    DbQuery& q = allrcQuery();
    q.close();
    q.setSql(Sql::scheduleById(id));
    q.open();
    return q;
}

// ---- geometry ------------------------------------------------------------

int TassistantForm::windowWidth() const
{
    return width() + frameExtraWidth;
}

int TassistantForm::windowHeight() const
{
    return height() + frameExtraHeight;
}

void TassistantForm::setWindowWidth(int w)
{
    const int client = qMax(1, w - frameExtraWidth);
    if (client != width())
        setFixedWidth(client);
}

void TassistantForm::setWindowHeight(int h)
{
    const int decoration = frameGeometry().height() - height();
    int client = h - frameExtraHeight;
    const int minimum = qMax(1, minimumFrameHeight - decoration);
    if (client < minimum)
        client = minimum;
    if (client != height())
        setFixedHeight(client);
}

void TassistantForm::setWindowTop(int top)
{
    if (pos().y() != top)
        move(pos().x(), top);
}

QRect TassistantForm::windowRect() const
{
    return frameGeometry();
}

// ---- tree rebuild -----------------------------------------------------------

void TassistantForm::loadWorkNote()
{
    DbQuery& q = zjQuery();
    q.close();
    q.setSql(Sql::workNoteOfDay());
    q.setDateParameter(Clock::today());
    q.open();
    if (q.recordCount() > 0)
        zjMemo->setPlainText(q.textField(QStringLiteral("zj")));
    else
        zjMemo->clear();
    zjGroupBox->setTitle(QStringLiteral("工作笔记(") + Formats::dateText(Clock::today()) +
                         QStringLiteral(")"));
}

void TassistantForm::FormShow()
{
    loadWorkNote();

    // Topmost at its place, and shown: a rebuild also brings back a hidden window.
    if (!m_placed) {
        m_placed = true;
        const QSize screen = Desktop::screenSize();
        move((screen.width() - windowWidth()) / 2, (screen.height() - windowHeight()) / 2);
    }
    if (!isVisible())
        show();
    raise();

    rcTree->clear();
    const QDate today = Clock::today();
    const QDate tomorrow = today.addDays(1);
    QIcon statusIcons[5];
    for (int i = 1; i <= 4; ++i)
        statusIcons[i] = Pictures::imageList1(i);
    const QIcon dateIcon = Pictures::imageList1(0);

    // Built apart from the tree and handed over in one go: inserting into the
    // live tree node by node costs a model signal each.
    QList<QTreeWidgetItem*> dateNodes;
    auto dateNode = [&](const QString& text, const QDate& date) {
        auto* node = new QTreeWidgetItem(QStringList{text});
        node->setData(0, DateRole, date);
        node->setIcon(0, dateIcon);
        dateNodes.append(node);
        return node;
    };
    DbQuery& q = allrcQuery();
    auto scheduleNode = [&](QTreeWidgetItem* parent) {
        const int zt = q.intField(QStringLiteral("zt_flag"));
        auto* node = new QTreeWidgetItem(
            parent, {scheduleNodeText(DayNumber::toTime(q.dateTimeField(QStringLiteral("rc_time"))),
                                      q.textField(QStringLiteral("title")))});
        node->setData(0, IdRole, q.intField(QStringLiteral("id")));
        if (zt >= 1 && zt <= 4)
            node->setIcon(0, statusIcons[zt]);
    };
    auto run = [&](const QString& sql, const QDate& param) {
        q.close();
        q.setSql(sql);
        q.setDateParameter(param);
        q.open();
    };
    // A failure part way keeps what was read so far, as the nodes would stand.
    struct Handover {
        QTreeWidget* tree;
        QList<QTreeWidgetItem*>& nodes;
        ~Handover()
        {
            tree->addTopLevelItems(nodes);
            if (!nodes.isEmpty())
                nodes.first()->setExpanded(true);
        }
    } handover{rcTree, dateNodes};

    run(Sql::schedulesOfDay(), today);
    QTreeWidgetItem* todayNode = dateNode(todayNodeText(today), today);
    for (; !q.eof(); q.next())
        scheduleNode(todayNode);

    run(Sql::schedulesOfDay(), tomorrow);
    QTreeWidgetItem* tomorrowNode = dateNode(tomorrowNodeText(tomorrow), tomorrow);
    for (; !q.eof(); q.next())
        scheduleNode(tomorrowNode);

    run(Sql::schedulesAfter(), tomorrow);
    QDate current = today;
    QTreeWidgetItem* latest = tomorrowNode;
    for (; !q.eof(); q.next()) {
        const QDate date = DayNumber::toDate(q.dateTimeField(QStringLiteral("rc_date")));
        if (date != current) {
            latest = dateNode(laterNodeText(date), date);
            current = date;
        }
        scheduleNode(latest);
    }
    q.close();
    rcTree->viewport()->update();
}

QColor TassistantForm::priorityColor(const QTreeWidgetItem* node)
{
    return priorityColor(node->data(0, IdRole).toInt());
}

QColor TassistantForm::priorityColor(int id)
{
    ++m_colourReads;
    const QColor own = rcTree->palette().color(QPalette::Text);
    try {
        DbQuery& q = cxQuery();
        q.close();
        q.setSql(Sql::scheduleById(id));
        q.open();
        // A row deleted elsewhere keeps the tree's colour until the next rebuild.
        if (q.recordCount() == 0) {
            q.close();
            return own;
        }
        const int yxj = q.intField(QStringLiteral("yxj"));
        q.close();
        return ColorText::toQColor(Settings::priorityColorValue(yxj));
    } catch (const AppError& e) {
        // Reported after the drawing, and once: a box raised by every repaint
        // would come back each time it closed.
        static QString reported;
        if (reported != e.text()) {
            reported = e.text();
            const QString text = e.text();
            QTimer::singleShot(0, qApp, [text] { reportError(text); });
        }
        return own;
    }
}

// ---- activation, tray, showing, closing -----------------------------------

void TassistantForm::onFocusWindowChanged(QWindow* now)
{
    if (!now || now->type() == Qt::Popup || now->type() == Qt::ToolTip)
        return;
    const bool activated = now == windowHandle() && m_lastFocus != now;
    m_lastFocus = now;
    if (activated)
        runGuarded([this] { FormActivate(); });
}

void TassistantForm::FormActivate()
{
    int interval = 0, position = 0;
    {
        const Settings::Reader settings;
        interval = settings.integer(Settings::intervalTime);
        position = settings.integer(Settings::txWinPos);
        Label1->setText(settings.string(Settings::zm));
        Label1->adjustSize();
    }
    Q_UNUSED(interval); // the reminder timer takes it
    addTrayIcon();
    Q_UNUSED(position); // the first activation's day summary takes it
}

void TassistantForm::addTrayIcon()
{
    const QString path = ProgramDir::file(QStringLiteral("ovak.ico"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(fileOpenErrorText(QDir::toNativeSeparators(path), file.errorString()));
    QPixmap picture;
    if (!picture.loadFromData(file.readAll()))
        throw AppError(
            fileOpenErrorText(QDir::toNativeSeparators(path), QStringLiteral("Not an icon file")));
    if (trayIcon)
        return; // already present: the add changes nothing
    trayIcon = new QSystemTrayIcon(QIcon(path), this);
    trayIcon->setObjectName(QStringLiteral("trayIcon"));
    trayIcon->setToolTip(APP_TITLE);
    connect(trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                runGuarded([this, reason] {
                    if (reason == QSystemTrayIcon::Trigger)
                        showmainClick();
                    else if (reason == QSystemTrayIcon::Context)
                        MainMenu->popup(Desktop::cursorPos());
                });
            });
    trayIcon->show();
}

void TassistantForm::showmainClick()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
    if (isDocked(pos().y()))
        setWindowTop(3);
}

void TassistantForm::leaveClick()
{
    close();
}

void TassistantForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_trayMode)
        QTimer::singleShot(0, this, [this] { WindowManager::skipTaskbar(this); });
    if (!event->spontaneous())
        runGuarded([this] { FormShow(); });
}

void TassistantForm::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_trayMode) {
        // Minimising hides the window; the tray icon brings it back.
        QTimer::singleShot(0, this, [this] {
            setWindowState(windowState() & ~Qt::WindowMinimized);
            hide();
        });
    }
}

void TassistantForm::closeEvent(QCloseEvent* event)
{
    delete trayIcon;
    trayIcon = nullptr;
    event->accept();
    QApplication::quit();
}

// ---- the tick ------------------------------------------------------------

void TassistantForm::Timer1Timer()
{
    if (isMidnightTick(Clock::now().time()))
        FormShow();
    if (refreshFlag == 1) {
        FormShow();
        refreshFlag = 0;
        Label1->setText(Settings::readString(Settings::zm));
        Label1->adjustSize();
    }
    Label1->move(marqueeStep(Label1->x(), Label1->width(), Panel1->x(), Panel1->width()),
                 Label1->y());
    const Dock dock = dockStep(windowRect(), Desktop::cursorPos());
    setWindowHeight(dock.height);
    if (dock.top)
        setWindowTop(*dock.top);
    hoverStep();
}

void TassistantForm::hoverStep()
{
    // A window waiting in the tray shows no details where it would stand.
    if (!isVisible() || isMinimized())
        return;
    const QPoint cursor = Desktop::cursorPos();
    if (hoverIgnored(windowRect(), cursor))
        return;
    const QPoint local = rcTree->viewport()->mapFromGlobal(cursor);
    QTreeWidgetItem* node =
        rcTree->viewport()->rect().contains(local) ? rcTree->itemAt(local) : nullptr;
    if (!node || !node->parent()) {
        m_details.clear();
        rcTree->setToolTip(QString());
        QToolTip::hideText();
        m_lastShownId = -1;
        return;
    }
    const int id = node->data(0, IdRole).toInt();
    if (id == m_lastShownId)
        return;
    m_lastShownId = id;
    DbQuery& q = openSchedule(id);
    if (q.recordCount() == 0) { // deleted elsewhere since the last rebuild
        q.close();
        return;
    }
    Schedule s;
    s.title = q.textField(QStringLiteral("title"));
    s.date = DayNumber::toDate(q.dateTimeField(QStringLiteral("rc_date")));
    s.time = DayNumber::toTime(q.dateTimeField(QStringLiteral("rc_time")));
    s.yxj = q.intField(QStringLiteral("yxj"));
    s.ztFlag = q.intField(QStringLiteral("zt_flag"));
    s.content = q.textField(QStringLiteral("content"));
    m_details = detailsText(s);
    // The tree's tool tip shows it line by line with the indents kept.
    QString shown = m_details.trimmed().toHtmlEscaped();
    shown.replace(QLatin1Char('\r'), QStringLiteral("<br>"));
    rcTree->setToolTip(QStringLiteral("<div style=\"white-space:pre\">") + shown +
                       QStringLiteral("</div>"));
    QToolTip::showText(cursor, rcTree->toolTip(), rcTree, QRect(), 10000);
    q.close();
}

// ---- tree commands -------------------------------------------------------

bool TassistantForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == rcTree->viewport()) {
        // The hover step shows the details; the view's own tool tips would hide them.
        if (event->type() == QEvent::ToolTip)
            return true;
        if (event->type() == QEvent::MouseButtonPress) {
            auto* e = static_cast<QMouseEvent*>(event);
            runGuarded([&] { rcTreeMouseDown(e->button(), e->position().toPoint()); });
        } else if (event->type() == QEvent::MouseMove) {
            auto* e = static_cast<QMouseEvent*>(event);
            if (QTreeWidgetItem* node = rcTree->itemAt(e->position().toPoint())) {
                rcTree->setCurrentItem(node);
                rcTree->viewport()->setCursor(Qt::PointingHandCursor);
            } else {
                rcTree->viewport()->setCursor(Qt::ArrowCursor);
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TassistantForm::rcTreeMouseDown(Qt::MouseButton button, const QPoint& pos)
{
    if (button != Qt::RightButton)
        return;
    QTreeWidgetItem* node = rcTree->itemAt(pos);
    if (!node)
        return;
    rcTree->setCurrentItem(node);
    (node->parent() ? ItemsMenu : rootMenu)->popup(Desktop::cursorPos());
}

QTreeWidgetItem* TassistantForm::selectedScheduleNode() const
{
    QTreeWidgetItem* node = rcTree->currentItem();
    return node && node->parent() ? node : nullptr;
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
    QTreeWidgetItem* node = selectedScheduleNode();
    if (!node)
        return;
    DbQuery& q = openSchedule(node->data(0, IdRole).toInt());
    const int code = q.recordCount() > 0 ? q.intField(QStringLiteral("zt_flag")) : 0;
    if (code >= 1 && code <= 4)
        m_statusMark = m_statusItems[code - 1];
    m_statusMark->setChecked(true);
    q.close();
}

void TassistantForm::setStatus(int code)
{
    QTreeWidgetItem* node = selectedScheduleNode();
    if (!node)
        return;
    DbQuery& q = openSchedule(node->data(0, IdRole).toInt());
    q.edit();
    q.setField(QStringLiteral("zt_flag"), code);
    q.post();
    q.close();
    refreshFlag = 1;
}

void TassistantForm::scrcClick()
{
    QTreeWidgetItem* node = selectedScheduleNode();
    if (!node)
        return;
    DbQuery& q = allrcQuery();
    q.close();
    q.setSql(Sql::deleteSchedule(node->data(0, IdRole).toInt()));
    q.execSql();
    q.close();
    delete node;
    refreshFlag = 1;
}

void TassistantForm::tjbzClick()
{
    // The note window opens from here once it exists.
}

void TassistantForm::bjrcClick()
{
    QTreeWidgetItem* node = rcTree->currentItem();
    if (!node || !xgrcForm)
        return;
    xgrcForm->scheduleId = node->data(0, IdRole).toInt();
    Dialogs::instance().showModal(xgrcForm); // it sets refreshFlag after a save
}

void TassistantForm::roottjrcClick()
{
    QTreeWidgetItem* node = rcTree->currentItem();
    if (!node)
        return;
    openAddWindow(node->data(0, DateRole).toDate());
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
    Dialogs::instance().showModal(addrcForm);
}

void TassistantForm::gxszClick()
{
    // The personal settings window opens from here once it exists.
}

void TassistantForm::txClick()
{
    // The reminder window opens from here once it exists.
}

void TassistantForm::helpClick()
{
    Desktop::openDocument(QStringLiteral("help.chm")); // the result is not examined
}

void TassistantForm::menuButtonClick()
{
    MainMenu->popup(Desktop::cursorPos());
}

void TassistantForm::cxButton1Click()
{
    // The query window opens from here once it exists.
}

// ---- work-note panel -------------------------------------------------------

void TassistantForm::zjButtonClick()
{
    const Width next = toggleWidth(windowWidth());
    setWindowWidth(next.width);
    zjButton->setText(next.caption);
}

void TassistantForm::saveZJButtonClick()
{
    const QDate today = Clock::today();
    DbQuery& q = zjQuery();
    q.close();
    q.setSql(Sql::workNoteOfDay());
    q.setDateParameter(today);
    q.open();
    if (q.recordCount() > 0) {
        q.edit();
        q.setField(QStringLiteral("zj"), zjMemo->toPlainText());
        q.post();
        Dialogs::instance().message(this, QStringLiteral("     工作笔记保存完毕！     "));
        return;
    }
    if (Cp936::trimmed(zjMemo->toPlainText()).isEmpty()) {
        Dialogs::instance().message(this, QStringLiteral("     今天没有工作笔记保存！     "));
        return;
    }
    q.close();
    DbTable& table = DataModule1->zjTable;
    table.close();
    table.open();
    table.append();
    table.setField(QStringLiteral("date"), today);
    table.setField(QStringLiteral("zj"), zjMemo->toPlainText());
    table.post();
    table.close();
    Dialogs::instance().message(this, QStringLiteral("     工作笔记保存完毕！     "));
}

void TassistantForm::readZJButtonClick()
{
    // The work-note browser opens from here once it exists.
}
