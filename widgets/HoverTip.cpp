#include "widgets/HoverTip.h"

#include "platform/Desktop.h"

#include <QToolTip>

HoverTip::HoverTip(QWidget* owner)
    : QLabel(owner, Qt::ToolTip | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("hoverTip"));
    setForegroundRole(QPalette::ToolTipText);
    setBackgroundRole(QPalette::ToolTipBase);
    setPalette(QToolTip::palette());
    setFont(QToolTip::font());
    setAutoFillBackground(true);
    setTextFormat(Qt::PlainText);
    setMargin(4);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setAttribute(Qt::WA_ShowWithoutActivating);
    m_expiry.setSingleShot(true);
    m_expiry.setInterval(10000);
    connect(&m_expiry, &QTimer::timeout, this, &HoverTip::hideTip);
}

void HoverTip::showLines(const QString& text, const QPoint& cursor)
{
    setPalette(QToolTip::palette());
    setText(text);
    adjustSize();
    // Below and right of the cursor, as tool tips stand, and on the screen.
    const QRect screen(QPoint(0, 0), Desktop::screenSize());
    QPoint at = cursor + QPoint(2, 16);
    if (at.x() + width() > screen.right())
        at.setX(qMax(screen.left(), screen.right() - width()));
    if (at.y() + height() > screen.bottom())
        at.setY(qMax(screen.top(), cursor.y() - height() - 4));
    move(at);
    show();
    raise();
    m_expiry.start();
}

void HoverTip::hideTip()
{
    m_expiry.stop();
    hide();
}

void HoverTip::stillThere()
{
    if (isVisible())
        m_expiry.start();
}

QString plainToolTip(const QString& text)
{
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}
