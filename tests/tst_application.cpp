#include "TestSupport.h"
#include "platform/AppError.h"
#include "platform/ToolkitTranslations.h"
#include "shell/Application.h"
#include "shell/Forms.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

// The guard in the application object: an error escaping any handler reaches
// the default error box, and the loop goes on.
class TestApplication : public QObject {
    Q_OBJECT
private slots:
    void errorInAHandlerIsReportedAndTheLoopGoesOn();
    void abortShowsNothing();
    void repeatedErrorIsNotStacked();
    void deferredWindowsAreBuiltBeforeAnyInput();
    void toolkitTextsInTheLocalesLanguage_data();
    void toolkitTextsInTheLocalesLanguage();
};

void TestApplication::errorInAHandlerIsReportedAndTheLoopGoesOn()
{
    TestEnvironment env;
    QPushButton button;
    int after = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        throw AppError(QStringLiteral("Failed to get data for 'intervalTime'"));
        ++after; // never reached: the error ends the handler
    });
    QTest::mouseClick(&button, Qt::LeftButton);
    // A closing quote sorts before the full stop: none is added.
    QCOMPARE(env.dialogs().errors(), QStringList{"Failed to get data for 'intervalTime'"});
    QCOMPARE(after, 0);
    // The loop goes on: a timer after the error still fires.
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    QTRY_VERIFY(fired);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(env.dialogs().errors().size(), 2);
}

void TestApplication::abortShowsNothing()
{
    TestEnvironment env;
    QVERIFY(!runGuarded([] { throw AbortError(); }));
    QVERIFY(!runGuarded([] { throw std::runtime_error("disk full"); }));
    QCOMPARE(env.dialogs().errors(), QStringList{"disk full."});
}

namespace {
// Raises the same error again while its box is up, as a timer would.
class ReentrantDialogs : public RecordingDialogs {
public:
    int depth = 0;
    void error(QWidget* owner, const QString& text) override
    {
        RecordingDialogs::error(owner, text);
        if (++depth < 3) {
            runGuarded([] { throw AppError(QStringLiteral("same")); });
            runGuarded([] { throw AppError(QStringLiteral("other")); });
        }
        --depth;
    }
};
} // namespace

void TestApplication::repeatedErrorIsNotStacked()
{
    TestEnvironment env;
    ReentrantDialogs dialogs;
    Dialogs::install(&dialogs);
    reportError(QStringLiteral("same"));
    // Each text once while its box is up, however often it is raised.
    QCOMPARE(dialogs.errors(), (QStringList{"same.", "other."}));
    Dialogs::install(&env.dialogs());
}

void TestApplication::deferredWindowsAreBuiltBeforeAnyInput()
{
    TestEnvironment env;
    QWidget mainWindow;
    Forms::deferBuilding(&mainWindow);
    QWidget form;
    bool built = false;
    Forms::build(&form, [&] { built = true; });
    QVERIFY(!built);
    // A key pressed before the main window painted: the build comes first.
    QLineEdit input;
    bool builtBeforeTheKey = false;
    QObject::connect(&input, &QLineEdit::textEdited, [&] { builtBeforeTheKey = built; });
    QTest::keyClick(&input, Qt::Key_A);
    QVERIFY(builtBeforeTheKey);
    // Otherwise the main window's first painting starts it.
    QWidget second;
    Forms::deferBuilding(&second);
    bool builtAfterPaint = false;
    Forms::build(&form, [&] { builtAfterPaint = true; });
    QVERIFY(!builtAfterPaint);
    second.show();
    QTRY_VERIFY(builtAfterPaint);
}

namespace {
// Notes the buttons of the next message box, and answers it.
void readNextBox(QStringList* buttons)
{
    QTimer::singleShot(0, [buttons] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        for (QAbstractButton* b : box->buttons())
            *buttons << b->text();
        box->reject();
    });
}
} // namespace

void TestApplication::toolkitTextsInTheLocalesLanguage_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("file"); // "" when the system has none
    textRow("zh_CN", "zh_CN", "qtbase_zh_CN.qm");
    textRow("zh_TW", "zh_TW", "qtbase_zh_TW.qm");
    textRow("de_DE", "de_DE", "qtbase_de.qm");
    textRow("C: the toolkit's own English", "C", "");
}

void TestApplication::toolkitTextsInTheLocalesLanguage()
{
    QFETCH(QString, locale);
    QFETCH(QString, file);
    TestEnvironment env;
    Dialogs::install(nullptr); // the real boxes, answered below
    QTranslator* translator = ToolkitTranslations::install(QLocale(locale));
    const auto remove = qScopeGuard([translator] {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    });
    if (file.isEmpty()) {
        QVERIFY(!translator);
        return;
    }
    if (!translator)
        QSKIP("the toolkit's translations are not installed (qt6-translations-l10n)");
    QCOMPARE(QFileInfo(translator->filePath()).fileName(), file);
    // The file and colour dialogs speak the language.
    for (const auto& [context, text] :
         {std::pair{"QFileDialog", "Look in:"}, std::pair{"QFileDialog", "File &name:"},
          std::pair{"QColorDialog", "&Basic colors"}})
        QVERIFY2(QCoreApplication::translate(context, text) != QLatin1String(text), text);

    // The confirmation keeps the buttons the program gives it; the message
    // box's OK is the toolkit's, in the language (确定 under zh_CN).
    QStringList buttons;
    readNextBox(&buttons);
    Dialogs::instance().confirm(nullptr, QStringLiteral("确定要添加吗？"));
    buttons.sort();
    QCOMPARE(buttons, (QStringList{"&No", "&Yes"}));
    buttons.clear();
    readNextBox(&buttons);
    Dialogs::instance().message(nullptr, QStringLiteral("     日程添加成功！     "));
    QCOMPARE(buttons, QStringList{QCoreApplication::translate("QPlatformTheme", "OK")});
}

int main(int argc, char** argv)
{
    AssistantApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_application.moc"
