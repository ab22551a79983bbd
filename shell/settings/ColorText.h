#pragma once

#include <QColor>
#include <QList>
#include <QPalette>
#include <QString>

// Colours as 32-bit values in the 0x00BBGGRR layout, or system-colour
// references (0xFF000000 + index), and their text form in the settings.
namespace ColorText {
// The name of a named colour, else "$" and eight upper-case hex digits.
QString toText(quint32 color);
// A name (any case), a decimal or a "$"-hexadecimal integer; anything else
// raises "'%s' is not a valid integer value".
quint32 fromText(const QString& text);
// The colour to draw with: system colours resolve against the current palette,
// or against the given one (a window whose colours are fixed has its own).
QColor toQColor(quint32 color);
QColor toQColor(quint32 color, const QPalette& system);
quint32 fromQColor(const QColor& color);
// The 52 named colours: the fixed ones, the system colours, clNone, clDefault.
QList<quint32> namedColors();
} // namespace ColorText
