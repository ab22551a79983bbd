#include "TestSupport.h"
#include "platform/AppError.h"
#include "shell/Application.h"
#include "shell/Forms.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
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

int main(int argc, char** argv)
{
    AssistantApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_application.moc"
