#include "widgets/TextLimits.h"

#include "platform/Cp936.h"
#include "platform/PlainText.h"

#include <QComboBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMimeData>
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
    State validate(QString& input, int& pos) const override
    {
        // What is pasted or typed keeps no control or bidi formatting
        // character: a line break becomes a blank.
        const QString clean = PlainText::singleLine(input);
        if (!clean.isSharedWith(input)) {
            pos = int(PlainText::singleLine(input.left(pos)).size());
            input = clean;
        }
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
{
    // Tab moves on: a tab in a memo would be saved, and trap the keyboard.
    setTabChangesFocus(true);
}

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
    const QString commit = PlainText::multiLine(event->commitString());
    if (commit.isSharedWith(event->commitString())) {
        limited([&] { QPlainTextEdit::inputMethodEvent(event); });
        return;
    }
    QInputMethodEvent clean(event->preeditString(), event->attributes());
    clean.setCommitString(commit, event->replacementStart(), event->replacementLength());
    limited([&] { QPlainTextEdit::inputMethodEvent(&clean); });
}

void LimitedMemo::insertFromMimeData(const QMimeData* source)
{
    // Only the text is taken, without control or bidi formatting characters.
    QMimeData clean;
    if (source && source->hasText())
        clean.setText(PlainText::multiLine(source->text()));
    limited([&] { QPlainTextEdit::insertFromMimeData(&clean); });
}
