#include "widgets/SpinEdit.h"

#include <QLineEdit>

SpinEdit::SpinEdit(QWidget* parent)
    : QSpinBox(parent)
{
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

int SpinEdit::readValue()
{
    interpretText();
    return value();
}

void SpinEdit::setTypingAllowed(bool allowed)
{
    lineEdit()->setReadOnly(!allowed);
}

bool SpinEdit::typedNumber(const QString& input, qint64& value) const
{
    QString digits = input;
    if (!prefix().isEmpty() && digits.startsWith(prefix()))
        digits.remove(0, prefix().size());
    if (!suffix().isEmpty() && digits.endsWith(suffix()))
        digits.chop(suffix().size());
    digits = digits.trimmed();
    // Long enough for any bound, short enough never to overflow.
    if (digits.isEmpty() || digits.size() > 12)
        return false;
    bool ok = false;
    value = digits.toLongLong(&ok);
    return ok;
}

QValidator::State SpinEdit::validate(QString& input, int& pos) const
{
    const QValidator::State state = QSpinBox::validate(input, pos);
    qint64 v = 0;
    if (state == QValidator::Invalid && typedNumber(input, v))
        return QValidator::Intermediate;
    return state;
}

void SpinEdit::fixup(QString& input) const
{
    qint64 v = 0;
    if (typedNumber(input, v))
        input =
            prefix() + QString::number(qBound(qint64(minimum()), v, qint64(maximum()))) + suffix();
    else
        QSpinBox::fixup(input);
}
