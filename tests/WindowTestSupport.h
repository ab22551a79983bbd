#pragma once

#include <QDate>
#include <QString>
#include <QTime>

class QAbstractButton;
class QWidget;

// What window tests do as a user would.
// Typing, one character at a time (keyClicks knows only ASCII).
void type(QWidget* w, const QString& text);
// A click as the user makes it: an error goes to the default error box.
void click(QAbstractButton* b);

// A schedule written straight into the data module's table: its content is
// "内容：" and the title.
qint64 addSchedule(const QString& title, const QDate& date, const QTime& time, int yxj = 1,
                   int zt = 1, const QString& bz = QString());
