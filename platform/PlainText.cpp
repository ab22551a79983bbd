#include "platform/PlainText.h"

namespace PlainText {

namespace {
enum class Kind { Keep, Drop, Blank, Break };

Kind kindOf(char16_t c, Lines lines)
{
    if (c >= 0x20 && c < 0x7F)
        return Kind::Keep;
    switch (c) {
    case u'\t':
        return Kind::Blank;
    case u'\n':
    case u'\r':
    case 0x0B:
    case 0x0C:
    case 0x85:
    case 0x2028:
    case 0x2029:
        return Kind::Break;
    case 0x200E:
    case 0x200F:
    case 0x061C:
        return lines == Lines::Single ? Kind::Drop : Kind::Keep;
    default:
        break;
    }
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
        (c >= 0x2066 && c <= 0x2069))
        return Kind::Drop;
    return Kind::Keep;
}
} // namespace

QString cleaned(const QString& text, Lines lines)
{
    const qsizetype n = text.size();
    const char16_t* in = reinterpret_cast<const char16_t*>(text.constData());
    qsizetype i = 0;
    while (i < n && kindOf(in[i], lines) == Kind::Keep)
        ++i;
    if (i == n)
        return text;
    QString out;
    out.reserve(n);
    out.append(QStringView(in, i));
    for (; i < n; ++i) {
        const char16_t c = in[i];
        switch (kindOf(c, lines)) {
        case Kind::Keep:
            out.append(QChar(c));
            break;
        case Kind::Drop:
            break;
        case Kind::Blank:
            out.append(QLatin1Char(' '));
            break;
        case Kind::Break:
            if (c == u'\r' && i + 1 < n && in[i + 1] == u'\n')
                ++i; // one break, not two
            out.append(lines == Lines::Multi ? QLatin1Char('\n') : QLatin1Char(' '));
            break;
        }
    }
    return out;
}

} // namespace PlainText
