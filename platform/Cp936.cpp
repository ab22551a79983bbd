#include "platform/Cp936.h"

#include <QStringDecoder>
#include <QStringEncoder>

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
    if (u >= 0x4E00 && u <= 0x9FA5)
        return 2; // the CJK ideographs of GBK, most of what is counted
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

} // namespace Cp936
