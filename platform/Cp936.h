#pragma once

#include <QByteArray>
#include <QString>

// Text lengths are counted in bytes of the Chinese code page. GB18030 agrees
// with GBK on every GBK character and encodes every other one as well, so no
// character the user types is lost.
namespace Cp936 {
QByteArray encode(const QString& text);
QString decode(const QByteArray& bytes);
int byteLength(const QString& text);

// The longest prefix of text that fits in maxBytes, never splitting a character.
QString truncated(const QString& text, int maxBytes);

// Without leading and trailing blanks and control characters (up to U+0020,
// line breaks included, and the other control characters), the way typed
// text is trimmed before it is stored.
QString trimmed(const QString& text);
} // namespace Cp936
