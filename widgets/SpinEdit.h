#pragma once

#include <QSpinBox>

// A whole-number field whose typed values outside its bounds are brought back
// to the nearest bound when the field is left or read, rather than refused
// keystroke by keystroke.
class SpinEdit : public QSpinBox {
    Q_OBJECT
public:
    explicit SpinEdit(QWidget* parent = nullptr);

    // The value, with any typed text taken over first.
    int readValue();
    // Arrows only: the number cannot be typed.
    void setTypingAllowed(bool allowed);

    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

private:
    bool typedNumber(const QString& input, qint64& value) const;
};
