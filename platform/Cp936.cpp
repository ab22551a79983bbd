#include "platform/Cp936.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QValidator>

namespace Cp936 {

QByteArray encode(const QString& text)
{
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

QString decode(const QByteArray& bytes)
{
    QStringDecoder decoder("GB18030");
    return decoder.decode(bytes);
}

namespace {
// Bytes of one code point starting at text[i]; advances i past it.
int pointBytes(const QString& text, int& i)
{
    const char16_t u = text.at(i).unicode();
    if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        i += 2;
        return 4; // outside the BMP: four bytes in GB18030
    }
    ++i;
    if (u < 0x80)
        return 1;
    // GB18030 gives two bytes to every GBK character and four to the rest of the BMP.
    static thread_local QStringEncoder encoder("GB18030");
    const QChar c(u);
    const QByteArray bytes = encoder.encode(QStringView(&c, 1));
    return int(bytes.size());
}
} // namespace

int byteLength(const QString& text)
{
    int bytes = 0;
    for (int i = 0; i < text.size();)
        bytes += pointBytes(text, i);
    return bytes;
}

int byteLength(QChar c)
{
    return byteLength(QString(c));
}

QString truncated(const QString& text, int maxBytes)
{
    int bytes = 0;
    int i = 0;
    while (i < text.size()) {
        int next = i;
        const int n = pointBytes(text, next);
        if (bytes + n > maxBytes)
            break;
        bytes += n;
        i = next;
    }
    return text.left(i);
}

QString trimmed(const QString& text)
{
    auto blank = [](QChar c) {
        return c.unicode() <= 0x20 || c.category() == QChar::Other_Control;
    };
    qsizetype begin = 0, end = text.size();
    while (begin < end && blank(text.at(begin)))
        ++begin;
    while (end > begin && blank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

namespace {
class ByteLimitValidator : public QValidator {
public:
    ByteLimitValidator(int maxBytes, QObject* parent)
        : QValidator(parent)
        , m_max(maxBytes)
    {}
    State validate(QString& input, int&) const override
    {
        return byteLength(input) <= m_max ? Acceptable : Invalid;
    }

private:
    int m_max;
};
} // namespace

void limitBytes(QLineEdit* edit, int maxBytes)
{
    edit->setValidator(new ByteLimitValidator(maxBytes, edit));
}

void limitBytes(QPlainTextEdit* edit, int maxBytes)
{
    // A memo has no validator: keep the last text within the limit and put it
    // back, cursor and all, when an edit goes past it.
    edit->setProperty("cp936Kept", edit->toPlainText());
    edit->setProperty("cp936Cursor", edit->textCursor().position());
    QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [edit, maxBytes] {
        const QString text = edit->toPlainText();
        if (byteLength(text) <= maxBytes) {
            edit->setProperty("cp936Kept", text);
            edit->setProperty("cp936Cursor", edit->textCursor().position());
            return;
        }
        QString kept = edit->property("cp936Kept").toString();
        if (byteLength(kept) > maxBytes)
            kept = truncated(kept, maxBytes);
        const int cursor = edit->property("cp936Cursor").toInt();
        {
            const QSignalBlocker block(edit);
            edit->setPlainText(kept);
            QTextCursor c = edit->textCursor();
            c.setPosition(qMin(cursor, int(kept.size())));
            edit->setTextCursor(c);
        }
        edit->setProperty("cp936Kept", kept);
    });
    QObject::connect(edit, &QPlainTextEdit::cursorPositionChanged, edit, [edit] {
        // Only a move within the kept text counts; an edit's own move is judged above.
        if (edit->toPlainText() == edit->property("cp936Kept").toString())
            edit->setProperty("cp936Cursor", edit->textCursor().position());
    });
}

} // namespace Cp936
