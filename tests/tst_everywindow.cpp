// What holds in every window: the keyboard (Tab out of memos, Esc, F1,
// Ctrl+N), what screen readers are told, and the colours under a dark theme.
#include "WindowTestSupport.h"
#include "app/Startup.h"
#include "editing/addrc.h"
#include "editing/cfsz.h"
#include "editing/xgrc.h"
#include "mainwindow/Assistant.h"
#include "platform/Desktop.h"
#include "platform/ProgramDir.h"
#include "reminders/tx.h"
#include "settings/gxsz.h"
#include "shell/Forms.h"
#include "shell/HelpWindow.h"
#include "shell/public.h"
#include "shell/settings/Settings.h"
#include "views/rccx.h"
#include "views/showbz.h"
#include "views/tjbz.h"
#include "views/zj.h"
#include "widgets/FlatWidgets.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QtTest>

namespace {
const QDate today(2026, 12, 9);

// The relative luminance contrast of two colours (1 to 21).
double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double x = luminance(a), y = luminance(b);
    return (qMax(x, y) + 0.05) / (qMin(x, y) + 0.05);
}

// What a widget's text is drawn on: its own fill, that of a filled sibling
// under it (a caption over a strip), or that of the nearest filled parent.
QColor backgroundOf(const QWidget* w)
{
    for (const QWidget* a = w; a; a = a->parentWidget()) {
        if (a->autoFillBackground())
            return a->palette().color(a->backgroundRole());
        const QWidget* parent = a->parentWidget();
        if (!parent)
            break;
        for (const QObject* o : parent->children()) {
            if (o == a)
                break;
            const auto* sibling = qobject_cast<const QWidget*>(o);
            if (sibling && sibling->autoFillBackground() && !sibling->isHidden() &&
                sibling->geometry().contains(a->geometry()))
                return sibling->palette().color(sibling->backgroundRole());
        }
    }
    return QApplication::palette().color(QPalette::Window);
}

// A change of theme as the running program meets it: every widget is told
// (the test's loop does not run, so the toolkit tells none).
void setThemePalette(const QPalette& palette)
{
    QApplication::setPalette(palette);
    QEvent change(QEvent::ApplicationPaletteChange);
    for (QWidget* w : QApplication::allWidgets())
        QCoreApplication::sendEvent(w, &change);
}

QPalette darkPalette()
{
    // As a dark colour scheme with the Fusion style gives it.
    QPalette p(QColor(0x35, 0x35, 0x35), QColor(0x2d, 0x2d, 0x2d));
    p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    p.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::Light, QColor(0x50, 0x50, 0x50));
    p.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    return p;
}

const QList<QPalette::ColorRole> roles{
    QPalette::Window, QPalette::WindowText, QPalette::Base,      QPalette::Text,
    QPalette::Button, QPalette::ButtonText, QPalette::Highlight, QPalette::HighlightedText,
    QPalette::Light,  QPalette::Dark};

// Each widget's colours, "name role colour", so that a difference names them.
QStringList coloursOf(const QWidget* window)
{
    QStringList out;
    QList<const QWidget*> all{window};
    for (const QWidget* w : window->findChildren<QWidget*>())
        if (!w->isWindow()) // a tool tip or popup of its own has the colours of its kind
            all << w;
    for (const QWidget* w : all)
        for (QPalette::ColorRole role : roles)
            out << QStringLiteral("%1 %2 %3")
                       .arg(w->objectName(), QString::number(role),
                            w->palette().color(role).name());
    return out;
}
} // namespace

class TestEveryWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { env.reset(); }

    void tabLeavesEveryMemo_data();
    void tabLeavesEveryMemo();
    void escapeClosesAsTheCloseBoxDoes_data();
    void escapeClosesAsTheCloseBoxDoes();
    void f1OpensTheHelp_data();
    void f1OpensTheHelp();
    void ctrlNOpensTheAddWindow();
    void windowsAreFramesOrDialogs_data();
    void windowsAreFramesOrDialogs();
    void controlsCarryNames();
    void storedTextIsShownAsItIs_data();
    void storedTextIsShownAsItIs();
    void coloursUnderADarkTheme_data();
    void coloursUnderADarkTheme();

private:
    QWidget* open(const QString& name);
    static void activate(QWidget* w);
    std::unique_ptr<WindowTestEnvironment> env;
    qint64 m_id = 0;
};

void TestEveryWindow::init()
{
    env = std::make_unique<WindowTestEnvironment>(QDateTime(today, QTime(9, 0)));
    env->copyTrayIcon();
    Settings::writeFirstRunDefaults();
    createStartupWindows();
    env->atEnd(destroyStartupWindows);
    env->own(addrcForm);
    env->own(gxszForm);
    env->own(zjForm);
    env->atEnd([] { delete HelpWindow::instance(); });
    assistantForm->Timer1->stop();
    txForm->Timer1->stop();
    firstActivation = 0; // no day summary to take the activation away
    m_id =
        addSchedule(QStringLiteral("周会"), today, QTime(14, 30), 1, 1, QStringLiteral("带材料"));
}

// Each window as the user opens it.
QWidget* TestEveryWindow::open(const QString& name)
{
    const auto modal = [this](auto* form) { // on the schedule of the test
        form->scheduleId = int(m_id);
        Dialogs::instance().showModal(form, assistantForm);
        return form;
    };
    QWidget* w = nullptr;
    if (name == "main")
        assistantForm->show(), w = assistantForm;
    else if (name == "add")
        assistantForm->tjrcClick(), w = addrcForm;
    else if (name == "modify")
        w = modal(xgrcForm);
    else if (name == "repeat")
        Dialogs::instance().showModal(cfszForm, assistantForm), w = cfszForm;
    else if (name == "note")
        w = modal(tjbzForm);
    else if (name == "note popup")
        w = modal(showbzForm);
    else if (name == "query")
        assistantForm->cxButton1Click(), w = rccxForm;
    else if (name == "browser")
        assistantForm->readZJButtonClick(), w = zjForm;
    else if (name == "settings")
        assistantForm->gxszClick(), w = gxszForm;
    else if (name == "reminder")
        txForm->placeAndShow(0), w = txForm;
    else if (name == "help")
        HelpWindow::showHelp(assistantForm), w = HelpWindow::instance();
    if (!w || !w->isVisible())
        qFatal("window %s did not open", qPrintable(name));
    return w;
}

void TestEveryWindow::activate(QWidget* w)
{
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
}

static void addWindowRows(const QStringList& names)
{
    QTest::addColumn<QString>("window");
    for (const QString& n : names)
        QTest::newRow(qPrintable(n)) << n;
}

void TestEveryWindow::tabLeavesEveryMemo_data()
{
    addWindowRows({"main", "add", "modify", "note", "note popup", "browser"});
}

void TestEveryWindow::tabLeavesEveryMemo()
{
    QFETCH(QString, window);
    QWidget* w = open(window);
    if (window == "main")
        assistantForm->zjButtonClick(); // the work-note panel
    activate(w);
    const QList<QPlainTextEdit*> memos = w->findChildren<QPlainTextEdit*>();
    QVERIFY(!memos.isEmpty());
    for (QPlainTextEdit* memo : memos) {
        if (!memo->isVisibleTo(w))
            continue;
        for (Qt::KeyboardModifier direction : {Qt::NoModifier, Qt::ShiftModifier}) {
            memo->setPlainText(QStringLiteral("第一行"));
            memo->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), memo);
            QTest::keyClick(memo, Qt::Key_Tab, direction);
            QVERIFY2(QApplication::focusWidget() != memo, qPrintable(memo->objectName()));
            QCOMPARE(memo->toPlainText(), QStringLiteral("第一行"));
        }
    }
}

void TestEveryWindow::escapeClosesAsTheCloseBoxDoes_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("closes");
    for (const char* name :
         {"add", "modify", "repeat", "note", "query", "browser", "settings", "help"})
        QTest::newRow(name) << QString(name) << true;
    // The main window and the reminder window are no secondary windows.
    QTest::newRow("main") << QString("main") << false;
    QTest::newRow("reminder") << QString("reminder") << false;
}

void TestEveryWindow::escapeClosesAsTheCloseBoxDoes()
{
    QFETCH(QString, window);
    QFETCH(bool, closes);
    QPointer<QWidget> w = open(window);
    activate(w);
    refreshFlag = 0;
    QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : w.data();
    QTest::keyClick(focus, Qt::Key_Escape);
    QCOMPARE(!w || !w->isVisible(), closes);
    QCOMPARE(env->dialogs().errors(), QStringList());
    if (window == "add") // its closing asks the main window to rebuild
        QCOMPARE(refreshFlag, 1);
}

void TestEveryWindow::f1OpensTheHelp_data()
{
    addWindowRows({"main", "add", "modify", "repeat", "note", "note popup", "query", "browser",
                   "settings", "reminder"});
}

void TestEveryWindow::f1OpensTheHelp()
{
    QFETCH(QString, window);
    QStringList opened;
    Desktop::setOpener([&](const QString& file) {
        opened << file;
        return true;
    });
    QWidget* w = open(window);
    activate(w);
    QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : w;
    QTest::keyClick(focus, Qt::Key_F1);
    QCOMPARE(opened, QStringList{ProgramDir::file(QStringLiteral("help.chm"))});
}

void TestEveryWindow::ctrlNOpensTheAddWindow()
{
    activate(open("main"));
    QTest::keyClick(assistantForm, Qt::Key_N, Qt::ControlModifier);
    QVERIFY(addrcForm && addrcForm->isVisible());
    QCOMPARE(env->dialogs().modalWindows, QList<QWidget*>{addrcForm});
}

void TestEveryWindow::windowsAreFramesOrDialogs_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("role");
    for (const char* name : {"main", "reminder", "help"})
        QTest::newRow(name) << QString(name) << int(QAccessible::Window);
    for (const char* name :
         {"add", "modify", "repeat", "note", "note popup", "query", "browser", "settings"})
        QTest::newRow(name) << QString(name) << int(QAccessible::Dialog);
}

void TestEveryWindow::windowsAreFramesOrDialogs()
{
    QFETCH(QString, window);
    QFETCH(int, role);
    QWidget* w = open(window);
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    QCOMPARE(int(i->role()), role);
    QVERIFY(!i->text(QAccessible::Name).isEmpty());
    // The plain widgets inside stay what they were.
    for (QWidget* inside : w->findChildren<QWidget*>())
        if (inside->metaObject() == &QWidget::staticMetaObject)
            QCOMPARE(QAccessible::queryAccessibleInterface(inside)->role(), QAccessible::Client);
}

void TestEveryWindow::controlsCarryNames()
{
    const auto name = [](QObject* o) {
        return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name);
    };
    open("main");
    QCOMPARE(name(assistantForm->zjButton), QStringLiteral("展开工作笔记"));
    assistantForm->zjButton->click();
    QCOMPARE(name(assistantForm->zjButton), QStringLiteral("收起工作笔记"));

    QWidget* browser = open("browser");
    QCOMPARE(name(zjForm->search), QStringLiteral("搜索"));
    QCOMPARE(name(zjForm->RzLabel2), QStringLiteral("搜索结果"));
    QCOMPARE(name(zjForm->RzLabel3), QStringLiteral("笔记日期"));
    QCOMPARE(name(browser->findChild<QFrame*>(QStringLiteral("Panel1"))), QStringLiteral("分隔线"));
    // Filled, they read what they show.
    zjForm->keywordEdit->setText(QStringLiteral("材料"));
    zjForm->search->click();
    QCOMPARE(name(zjForm->RzLabel2), zjForm->RzLabel2->text());

    QWidget* settings = open("settings");
    QStringList radios;
    for (QRadioButton* r : settings->findChildren<QRadioButton*>())
        radios << name(r);
    radios.sort();
    QCOMPARE(radios, (QStringList{"屏幕中央", "屏幕右下角"}));
}

void TestEveryWindow::storedTextIsShownAsItIs_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("text");
    const QString markup = QStringLiteral("<b>周会</b> <img src=\"x.png\"> &amp;");
    QTest::newRow("a note's title") << QString("note") << markup;
    QTest::newRow("the marquee") << QString("main") << markup;
}

void TestEveryWindow::storedTextIsShownAsItIs()
{
    QFETCH(QString, window);
    QFETCH(QString, text);
    QLabel* label = nullptr;
    if (window == "note") {
        m_id = addSchedule(text, today, QTime(9, 0));
        open(window);
        label = tjbzForm->titleLabel;
    } else {
        Settings::Writer().string(Settings::zm, text);
        activate(open(window));
        label = assistantForm->Label1;
    }
    // What a screen reader reads is what the label draws: markup would lose
    // its tags.
    QTRY_COMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), text);
}

void TestEveryWindow::coloursUnderADarkTheme_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("fixed"); // else it follows the theme
    for (const char* name :
         {"main", "reminder", "note", "note popup", "query", "browser", "settings"})
        QTest::newRow(name) << QString(name) << true;
    for (const char* name : {"add", "modify", "repeat"})
        QTest::newRow(name) << QString(name) << false;
}

void TestEveryWindow::coloursUnderADarkTheme()
{
    QFETCH(QString, window);
    QFETCH(bool, fixed);
    const QPalette light = QApplication::palette();
    const auto restore = qScopeGuard([&] { setThemePalette(light); });
    setThemePalette(darkPalette());
    QWidget* w = open(window);
    if (window == "main")
        assistantForm->zjButtonClick();
    const QStringList underDark = coloursOf(w);
    if (!fixed) {
        QCOMPARE(w->palette().color(QPalette::Window), darkPalette().color(QPalette::Window));
        QCOMPARE(w->palette().color(QPalette::Text), darkPalette().color(QPalette::Text));
        return;
    }
    setThemePalette(light);
    QCOMPARE(coloursOf(w), underDark);
    setThemePalette(darkPalette());

    // No text vanishes into what it is drawn on. (The marquee's lime on
    // white is the faintest the window was designed with.)
    for (QWidget* c : w->findChildren<QWidget*>()) {
        if (c->isWindow())
            continue;
        const QPalette& p = c->palette();
        double ratio = 0;
        if (qobject_cast<QLineEdit*>(c) || qobject_cast<QAbstractScrollArea*>(c))
            ratio = contrast(p.color(QPalette::Text), p.color(QPalette::Base));
        else if (qobject_cast<HotTrackButton*>(c))
            ratio = contrast(p.color(QPalette::ButtonText), Qt::white);
        else if (qobject_cast<QPushButton*>(c))
            ratio = contrast(p.color(QPalette::ButtonText), p.color(QPalette::Button));
        else if (qobject_cast<QLabel*>(c) || qobject_cast<QAbstractButton*>(c) ||
                 qobject_cast<QGroupBox*>(c))
            ratio = contrast(p.color(QPalette::WindowText), backgroundOf(c));
        else
            continue;
        QVERIFY2(ratio >= 1.3,
                 qPrintable(c->objectName() + QStringLiteral(": ") + QString::number(ratio)));
    }
}

QTEST_MAIN(TestEveryWindow)
#include "tst_everywindow.moc"
