#include "widgets/TextLimits.h"

#include "platform/Cp936.h"

#include <QComboBox>
#include <QLineEdit>
#include <QValidator>

namespace {
class LineLimit : public QValidator {
public:
    LineLimit(QLineEdit* edit, int maxBytes)
        : QValidator(edit)
        , m_max(maxBytes)
        , m_shownBytes(Cp936::byteLength(edit->text()))
    {
        // The text before an edit: the field's own text already holds the
        // edit while it is judged. A text the program sets counts as well.
        connect(edit, &QLineEdit::textChanged, this,
                [this](const QString& text) { m_shownBytes = Cp936::byteLength(text); });
    }
    State validate(QString& input, int&) const override
    {
        for (QChar& c : input)
            if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
                c = QLatin1Char(' ');
        const int bytes = Cp936::byteLength(input);
        // A longer stored text may still be shortened: only growing past
        // the limit is refused.
        if (bytes <= m_max || bytes <= m_shownBytes)
            return Acceptable;
        return Invalid;
    }

private:
    int m_max;
    int m_shownBytes;
};
} // namespace

namespace TextLimits {

void limitLine(QLineEdit* edit, int maxBytes)
{
    edit->setValidator(new LineLimit(edit, maxBytes));
}

void setItems(QComboBox* box, const QStringList& items, int maxBytes)
{
    QStringList cut;
    cut.reserve(items.size());
    for (const QString& item : items)
        cut << Cp936::truncated(item, maxBytes);
    box->addItems(cut);
}

} // namespace TextLimits

LimitedMemo::LimitedMemo(QWidget* parent)
    : QPlainTextEdit(parent)
{}

template <class Edit> void LimitedMemo::limited(Edit edit)
{
    if (m_max < 0) {
        edit();
        return;
    }
    const QString before = toPlainText();
    const int cursor = textCursor().position();
    edit();
    const QString after = toPlainText();
    const int bytes = Cp936::byteLength(after);
    if (bytes <= m_max || bytes <= Cp936::byteLength(before))
        return;
    setPlainText(before);
    QTextCursor c = textCursor();
    c.setPosition(qMin(cursor, int(before.size())));
    setTextCursor(c);
}

void LimitedMemo::keyPressEvent(QKeyEvent* event)
{
    limited([&] { QPlainTextEdit::keyPressEvent(event); });
}

void LimitedMemo::inputMethodEvent(QInputMethodEvent* event)
{
    limited([&] { QPlainTextEdit::inputMethodEvent(event); });
}

void LimitedMemo::insertFromMimeData(const QMimeData* source)
{
    limited([&] { QPlainTextEdit::insertFromMimeData(source); });
}
