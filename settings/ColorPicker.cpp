#include "settings/ColorPicker.h"

#include "platform/Dialogs.h"
#include "shell/Forms.h"
#include "shell/settings/ColorText.h"

#include <QPainter>
#include <QPixmap>

namespace {
struct Caption {
    const char* name;
    const char* text;
};

// What each named colour is called in the list; the stored text stays the name.
const Caption captions[] = {
    {"clBlack", "黑色"},
    {"clMaroon", "褐红色"},
    {"clGreen", "绿色"},
    {"clOlive", "橄榄色"},
    {"clNavy", "藏青色"},
    {"clPurple", "紫色"},
    {"clTeal", "蓝绿色"},
    {"clGray", "灰色"},
    {"clSilver", "银色"},
    {"clRed", "红色"},
    {"clLime", "亮绿色"},
    {"clYellow", "黄色"},
    {"clBlue", "蓝色"},
    {"clFuchsia", "紫红色"},
    {"clAqua", "青色"},
    {"clWhite", "白色"},
    {"clMoneyGreen", "淡绿色"},
    {"clSkyBlue", "天蓝色"},
    {"clCream", "奶油色"},
    {"clMedGray", "中灰色"},
    {"clScrollBar", "滚动条"},
    {"clBackground", "桌面背景"},
    {"clActiveCaption", "活动标题栏"},
    {"clInactiveCaption", "非活动标题栏"},
    {"clMenu", "菜单背景"},
    {"clWindow", "窗口背景"},
    {"clWindowFrame", "窗口边框"},
    {"clMenuText", "菜单文字"},
    {"clWindowText", "窗口文字"},
    {"clCaptionText", "标题栏文字"},
    {"clActiveBorder", "活动边框"},
    {"clInactiveBorder", "非活动边框"},
    {"clAppWorkSpace", "应用程序工作区"},
    {"clHighlight", "选中项背景"},
    {"clHighlightText", "选中项文字"},
    {"clBtnFace", "按钮表面"},
    {"clBtnShadow", "按钮阴影"},
    {"clGrayText", "灰色文字"},
    {"clBtnText", "按钮文字"},
    {"clInactiveCaptionText", "非活动标题文字"},
    {"clBtnHighlight", "按钮高光"},
    {"cl3DDkShadow", "立体深阴影"},
    {"cl3DLight", "立体亮面"},
    {"clInfoText", "提示文字"},
    {"clInfoBk", "提示背景"},
    {"clHotLight", "热点"},
    {"clGradientActiveCaption", "活动标题渐变"},
    {"clGradientInactiveCaption", "非活动标题渐变"},
    {"clMenuHighlight", "菜单选中项"},
    {"clMenuBar", "菜单栏"},
    {"clNone", "无"},
    {"clDefault", "默认"},
};

QIcon swatch(quint32 value)
{
    QPixmap picture(16, 12);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.setBrush(ColorText::toQColor(value));
    p.drawRect(0, 0, 15, 11);
    return QIcon(picture);
}
} // namespace

ColorPicker::ColorPicker(QWidget* parent)
    : QComboBox(parent)
{
    setMaxVisibleItems(16);
    for (quint32 v : ColorText::namedColors())
        addItem(swatch(v), caption(v), v);
    m_named = count();
    addItem(otherCaption());
    setCurrentIndex(indexOf(m_value));
    Forms::connect(this, &QComboBox::activated, this, [this] { chosen(currentIndex()); });
}

QString ColorPicker::otherCaption()
{
    return QStringLiteral("其他颜色…");
}

QString ColorPicker::caption(quint32 value)
{
    const QString text = ColorText::toText(value);
    for (const Caption& c : captions)
        if (text == QLatin1String(c.name))
            return QString::fromUtf8(c.text);
    return text; // a custom colour: its "$" text
}

int ColorPicker::indexOf(quint32 value) const
{
    for (int i = 0; i < count() - 1; ++i)
        if (itemData(i).toUInt() == value)
            return i;
    return -1;
}

void ColorPicker::setColorValue(quint32 value)
{
    m_value = value;
    // At most one custom entry, just before 其他颜色….
    if (count() - 1 > m_named)
        removeItem(m_named);
    int i = indexOf(value);
    if (i < 0) {
        insertItem(m_named, swatch(value), caption(value), value);
        i = m_named;
    }
    setCurrentIndex(i);
}

void ColorPicker::chosen(int index)
{
    if (index == count() - 1) {
        const QColor c = Dialogs::instance().chooseColor(this, ColorText::toQColor(m_value));
        if (c.isValid())
            setColorValue(ColorText::fromQColor(c));
        else
            setCurrentIndex(indexOf(m_value)); // cancelled: the colour stays
        return;
    }
    m_value = itemData(index).toUInt();
}
