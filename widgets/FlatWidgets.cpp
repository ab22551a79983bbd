#include "widgets/FlatWidgets.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

HotTrackButton::HotTrackButton(QWidget* parent)
    : QPushButton(parent)
{
    setAttribute(Qt::WA_Hover);
}

void HotTrackButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const bool hot = isEnabled() && (isDown() || underMouse());
    const QColor fill = isDown() ? QColor(0xf0, 0xdc, 0x3a)
                        : hot    ? QColor(0xff, 0xf3, 0x6b)
                                 : Qt::white;
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(hot ? QColor(0xc9, 0xa8, 0x00) : QColor(0x9a, 0x9a, 0x9a));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (hasFocus()) {
        QPen dots(palette().color(QPalette::WindowText), 1, Qt::DotLine);
        p.setPen(dots);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(2, 2, -3, -3));
    }
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    if (icon().isNull()) {
        p.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, text());
        return;
    }
    // The glyph before the caption, the two centred together.
    const QSize glyph = iconSize();
    const int gap = 4;
    const int textWidth = fontMetrics().horizontalAdvance(text());
    const int left = (width() - glyph.width() - gap - textWidth) / 2;
    icon().paint(&p, QRect(QPoint(left, (height() - glyph.height()) / 2), glyph), Qt::AlignCenter,
                 isEnabled() ? QIcon::Normal : QIcon::Disabled);
    p.drawText(QRect(left + glyph.width() + gap, 0, textWidth + 1, height()),
               Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, text());
}

FramedGroupBox::FramedGroupBox(QWidget* parent)
    : QGroupBox(parent)
{
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
}

void FramedGroupBox::setFrameColor(const QColor& c)
{
    m_frame = c;
    update();
}

void FramedGroupBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QFontMetrics fm(font());
    const int titleTop = fm.height() / 2;
    p.setPen(m_frame);
    p.drawRect(QRect(0, titleTop, width() - 1, height() - titleTop - 1));
    if (title().isEmpty())
        return;
    const QRect text(8, 0, fm.horizontalAdvance(title()) + 4, fm.height());
    p.fillRect(text, palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(text, Qt::AlignCenter, title());
}

LinkButton::LinkButton(QWidget* parent)
    : QPushButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFlat(true);
}

QSize LinkButton::sizeHint() const
{
    const QFontMetrics fm(font());
    return QSize(fm.horizontalAdvance(text()) + 2, fm.height() + 2);
}

void LinkButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QFont f = font();
    f.setUnderline(true);
    p.setFont(f);
    p.setPen(isEnabled() ? palette().color(QPalette::Active, QPalette::Highlight)
                         : palette().color(QPalette::Disabled, QPalette::WindowText));
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, text());
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
