#include "widgets/DateTimeEdits.h"

#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Formats.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
// The value of a text, or null for one that is none: for the field's own
// use, where a bad text is no error yet.
QDate dateIn(const QString& text)
{
    try {
        return Formats::parseDate(text);
    } catch (const AppError&) {
        return QDate();
    }
}

QTime timeIn(const QString& text)
{
    try {
        return Formats::parseTime(text);
    } catch (const AppError&) {
        return QTime();
    }
}
} // namespace

DatePopup::DatePopup(DateEdit* owner)
    : QFrame(owner, Qt::Popup)
    , m_owner(owner)
{
    setObjectName(QStringLiteral("calendarPopup"));
    setFrameShape(QFrame::StyledPanel);
    setAttribute(Qt::WA_WindowPropagation);

    m_calendar = new QCalendarWidget(this);
    m_calendar->setObjectName(QStringLiteral("calendar"));
    // Month and weekday names in the language of the windows, whatever the
    // system's date formats are. Set first: a locale brings its own first
    // day of the week.
    m_calendar->setLocale(QLocale(QLocale::Chinese, QLocale::China));
    m_calendar->setFirstDayOfWeek(Qt::Monday);
    m_calendar->setGridVisible(true);
    m_calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);

    m_today = new QPushButton(QStringLiteral("今天"), this);
    m_today->setObjectName(QStringLiteral("todayButton"));
    m_clear = new QPushButton(QStringLiteral("清除"), this);
    m_clear->setObjectName(QStringLiteral("clearButton"));
    for (QPushButton* b : {m_today, m_clear}) {
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::NoFocus);
    }

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(4, 0, 4, 4);
    buttons->addStretch();
    buttons->addWidget(m_today);
    buttons->addWidget(m_clear);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(4);
    layout->addWidget(m_calendar);
    layout->addLayout(buttons);

    connect(m_calendar, &QCalendarWidget::clicked, this, &DatePopup::pick);
    connect(m_calendar, &QCalendarWidget::activated, this, &DatePopup::pick);
    connect(m_today, &QPushButton::clicked, this, [this] { pick(Clock::today()); });
    connect(m_clear, &QPushButton::clicked, this, [this] { pick(QDate()); });
}

void DatePopup::pick(const QDate& date)
{
    // Hidden first: a change handler may put up a message box.
    hide();
    m_owner->setDate(date);
}

void DatePopup::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QFrame::keyPressEvent(event);
}

void DatePopup::hideEvent(QHideEvent* event)
{
    m_owner->m_popupClosed.start();
    QFrame::hideEvent(event);
}

DateEdit::DateEdit(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    connect(lineEdit(), &QLineEdit::editingFinished, this, &DateEdit::commit);
}

void DateEdit::setText(const QString& text)
{
    setEditText(text);
    commit();
}

QDate DateEdit::date() const
{
    return Formats::parseDate(text());
}

QDate DateEdit::dateOrNull() const
{
    return isEmpty() ? QDate() : date();
}

void DateEdit::setDate(const QDate& date)
{
    // The year in full, whatever the short format: what is shown reads back
    // as the same date.
    setText(date.isValid() ? Formats::editDateText(date) : QString());
}

void DateEdit::commit()
{
    const QString now = text();
    if (now == m_committed)
        return;
    m_committed = now;
    // A text that is no date is left for the reader to report.
    if (isEmpty() || dateIn(now).isValid())
        emit dateChanged();
}

void DateEdit::showPopup()
{
    // The press that closed the drop-down by clicking this field must not
    // open it again at once.
    if (m_popupClosed.isValid() && m_popupClosed.elapsed() < 200 &&
        rect().contains(mapFromGlobal(QCursor::pos())))
        return;
    if (!m_popup)
        m_popup = new DatePopup(this);
    QDate shown = Clock::today();
    if (const QDate typed = dateIn(text()); typed.isValid())
        shown = typed;
    m_popup->calendar()->setSelectedDate(shown);
    m_popup->adjustSize();

    QPoint at = mapToGlobal(QPoint(0, height()));
    const QSize size = m_popup->sizeHint();
    if (const QScreen* s = screen()) {
        const QRect avail = s->availableGeometry();
        if (at.y() + size.height() > avail.bottom())
            at.setY(mapToGlobal(QPoint(0, 0)).y() - size.height());
        at.setX(qBound(avail.left(), at.x(), avail.right() - size.width()));
    }
    m_popup->move(at);
    m_popup->show();
    m_popup->calendar()->setFocus();
}

void DateEdit::hidePopup()
{
    if (m_popup)
        m_popup->hide();
}

TimeEdit::TimeEdit(QWidget* parent)
    : QAbstractSpinBox(parent)
{
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(false);
}

void TimeEdit::setText(const QString& text)
{
    lineEdit()->setText(text);
}

QTime TimeEdit::time() const
{
    return Formats::parseTime(text());
}

void TimeEdit::setTime(const QTime& time)
{
    setText(time.isValid() ? Formats::timeText(time) : QString());
}

QValidator::State TimeEdit::validate(QString&, int&) const
{
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled TimeEdit::stepEnabled() const
{
    if (isReadOnly())
        return StepNone;
    return StepUpEnabled | StepDownEnabled;
}

void TimeEdit::stepBy(int steps)
{
    // The arrows move the part under the cursor: hours, minutes or seconds,
    // told apart by the separators before the cursor.
    QTime t(0, 0);
    if (!isEmpty()) {
        t = timeIn(text());
        if (!t.isValid())
            return; // nothing to step from
    }
    const int cursor = lineEdit()->cursorPosition();
    const QString before = text().left(cursor);
    int section = 0;
    for (QChar c : before)
        if (c == QLatin1Char(':') || c == QLatin1Char('.'))
            ++section;
    static const int unit[] = {3600, 60, 1};
    t = t.addSecs(steps * unit[qMin(section, 2)]);
    setTime(t);
    lineEdit()->setCursorPosition(qMin(cursor, int(text().size())));
}
