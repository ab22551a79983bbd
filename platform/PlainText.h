#pragma once

#include <QString>

// Text from outside (a calendar file, the clipboard, a list file), made safe
// to keep and to show: no control character that a terminal or a view would
// act on, and no bidirectional formatting that could show text in another
// order than it is stored.
namespace PlainText {
enum class Lines { Single, Multi };

// Control characters of C0 and C1 and DEL go, except that a tab becomes a
// blank and a line break (CR LF, CR, LF, VT, FF, NEL, U+2028, U+2029) becomes
// "\n" in multi-line text and a blank in a single line. The embeddings,
// overrides and isolates (U+202A-U+202E, U+2066-U+2069) go everywhere; the
// directional marks (U+200E, U+200F, U+061C) go in a single line, where
// they could still swap numbers about, and stay in multi-line text, whose
// right-to-left paragraphs need them. Text with nothing to clean comes back
// as it was, without a copy.
QString cleaned(const QString& text, Lines lines);
inline QString singleLine(const QString& text)
{
    return cleaned(text, Lines::Single);
}
inline QString multiLine(const QString& text)
{
    return cleaned(text, Lines::Multi);
}
} // namespace PlainText
