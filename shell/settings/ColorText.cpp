#include "shell/settings/ColorText.h"

#include "platform/AppError.h"

#include <QGuiApplication>
#include <QPalette>

namespace {
struct Named {
    const char* name;
    quint32 value;
};

constexpr quint32 sys(quint32 index)
{
    return 0xFF000000u + index;
}

const Named named[] = {
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clScrollBar", sys(0)},
    {"clBackground", sys(1)},
    {"clActiveCaption", sys(2)},
    {"clInactiveCaption", sys(3)},
    {"clMenu", sys(4)},
    {"clWindow", sys(5)},
    {"clWindowFrame", sys(6)},
    {"clMenuText", sys(7)},
    {"clWindowText", sys(8)},
    {"clCaptionText", sys(9)},
    {"clActiveBorder", sys(10)},
    {"clInactiveBorder", sys(11)},
    {"clAppWorkSpace", sys(12)},
    {"clHighlight", sys(13)},
    {"clHighlightText", sys(14)},
    {"clBtnFace", sys(15)},
    {"clBtnShadow", sys(16)},
    {"clGrayText", sys(17)},
    {"clBtnText", sys(18)},
    {"clInactiveCaptionText", sys(19)},
    {"clBtnHighlight", sys(20)},
    {"cl3DDkShadow", sys(21)},
    {"cl3DLight", sys(22)},
    {"clInfoText", sys(23)},
    {"clInfoBk", sys(24)},
    {"clHotLight", sys(26)},
    {"clGradientActiveCaption", sys(27)},
    {"clGradientInactiveCaption", sys(28)},
    {"clMenuHighlight", sys(29)},
    {"clMenuBar", sys(30)},
    {"clNone", 0x1FFFFFFF},
    {"clDefault", 0x20000000},
};

QColor bgr(quint32 v)
{
    return QColor(int(v & 0xff), int((v >> 8) & 0xff), int((v >> 16) & 0xff));
}
} // namespace

namespace ColorText {

QString toText(quint32 color)
{
    for (const Named& n : named)
        if (n.value == color)
            return QLatin1String(n.name);
    return QStringLiteral("$%1").arg(color, 8, 16, QLatin1Char('0')).toUpper();
}

quint32 fromText(const QString& text)
{
    for (const Named& n : named)
        if (text.compare(QLatin1String(n.name), Qt::CaseInsensitive) == 0)
            return n.value;
    // A 32-bit integer: hexadecimal up to eight digits, decimal as a signed value.
    bool ok = false;
    const QString t = text.trimmed();
    const bool hex =
        t.startsWith(QLatin1Char('$')) || t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    if (hex) {
        const QString digits = t.mid(t.startsWith(QLatin1Char('$')) ? 1 : 2);
        const qint64 v = digits.toLongLong(&ok, 16);
        if (ok && !digits.startsWith(QLatin1Char('-')) && !digits.startsWith(QLatin1Char('+')) &&
            v >= 0 && v <= qint64(UINT32_MAX))
            return quint32(v);
    } else {
        const int v = t.toInt(&ok, 10);
        if (ok)
            return quint32(v);
    }
    throw AppError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

QColor toQColor(quint32 color)
{
    // Only system colours ask for the application's palette: the settings
    // read colours where there is none.
    const bool system = (color & 0xFF000000u) == 0xFF000000u || color == 0x20000000;
    return toQColor(color, system ? QGuiApplication::palette() : QPalette());
}

QColor toQColor(quint32 color, const QPalette& p)
{
    if ((color & 0xFF000000u) == 0xFF000000u) {
        switch (color & 0xff) {
        case 1:  // desktop background
        case 12: // application workspace
            return p.color(QPalette::Dark);
        case 2:
        case 13:
        case 27:
        case 29:
            return p.color(QPalette::Highlight);
        case 3:
        case 11:
        case 28:
            return p.color(QPalette::Inactive, QPalette::Highlight);
        case 4:
        case 15:
        case 30:
            return p.color(QPalette::Button);
        case 5:
            return p.color(QPalette::Base);
        case 6:
        case 21:
            return p.color(QPalette::Shadow);
        case 7:
        case 8:
            return p.color(QPalette::Text);
        case 9:
        case 14:
            return p.color(QPalette::HighlightedText);
        case 16:
            return p.color(QPalette::Dark);
        case 17:
        case 19:
            return p.color(QPalette::Disabled, QPalette::Text);
        case 18:
            return p.color(QPalette::ButtonText);
        case 20:
            return p.color(QPalette::Light);
        case 22:
            return p.color(QPalette::Midlight);
        case 23:
            return p.color(QPalette::ToolTipText);
        case 24:
            return p.color(QPalette::ToolTipBase);
        case 26:
            return p.color(QPalette::Link);
        default:
            return p.color(QPalette::Window);
        }
    }
    if (color == 0x1FFFFFFF) // clNone
        return QColor(Qt::transparent);
    if (color == 0x20000000) // clDefault
        return p.color(QPalette::Text);
    return bgr(color);
}

quint32 fromQColor(const QColor& color)
{
    return quint32(color.red()) | (quint32(color.green()) << 8) | (quint32(color.blue()) << 16);
}

QList<quint32> namedColors()
{
    QList<quint32> out;
    for (const Named& n : named)
        out << n.value;
    return out;
}

} // namespace ColorText
