#pragma once

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDate>
#include <QElapsedTimer>
#include <QFrame>
#include <QTime>

class QCalendarWidget;
class QPushButton;

// Date and time fields of the windows. Both show their value in the system's
// formats (Formats), may be empty, and take any typed text: a text that is not
// a date or time is only an error where the value is read, so a half-typed
// field never interrupts the user.

class DateEdit;

// The drop-down of a DateEdit: a month calendar, weeks starting on Monday,
// with 今天 and 清除 below it.
class DatePopup : public QFrame {
    Q_OBJECT
public:
    explicit DatePopup(DateEdit* owner);
    QCalendarWidget* calendar() const { return m_calendar; }
    QPushButton* todayButton() const { return m_today; }
    QPushButton* clearButton() const { return m_clear; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void pick(const QDate& date);

    DateEdit* m_owner;
    QCalendarWidget* m_calendar;
    QPushButton* m_today;
    QPushButton* m_clear;
};

class DateEdit : public QComboBox {
    Q_OBJECT
public:
    explicit DateEdit(QWidget* parent = nullptr);

    QString text() const { return currentText(); }
    void setText(const QString& text);
    bool isEmpty() const { return text().trimmed().isEmpty(); }

    // The date typed or picked; raises the conversion error for an empty text
    // or one that is no date.
    QDate date() const;
    // As date(), but an empty field gives a null date (earlier than any date).
    QDate dateOrNull() const;
    // A null date empties the field.
    void setDate(const QDate& date);

    void showPopup() override;
    void hidePopup() override;
    DatePopup* popup() const { return m_popup; }

signals:
    // The field took a new value: a pick, 今天, 清除, setDate, or typed text
    // confirmed with Enter or by leaving the field. Not sent for a typed text
    // that is no date; whoever reads it then meets the error.
    void dateChanged();

private:
    friend class DatePopup;
    void commit();

    DatePopup* m_popup = nullptr;
    QString m_committed;
    QElapsedTimer m_popupClosed;
};

class TimeEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit TimeEdit(QWidget* parent = nullptr);

    void setText(const QString& text);
    bool isEmpty() const { return text().trimmed().isEmpty(); }

    // Raises the conversion error for an empty text or one that is no time.
    QTime time() const;
    // A null time empties the field.
    void setTime(const QTime& time);

    QValidator::State validate(QString& input, int& pos) const override;
    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;
};
