#include "WindowTestSupport.h"

#include "shell/Application.h"

#include <QAbstractButton>
#include <QtTest>

void type(QWidget* w, const QString& text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void click(QAbstractButton* b)
{
    runGuarded([b] { b->click(); });
}
