#include "resources/Pictures.h"

#include <QCoreApplication>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <cmath>
#include <memory>

// The resources live in a static library: without a reference the linker would
// drop them. Must stay outside any namespace.
static void initPictureResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace {

const char* const treeFiles[] = {
    "page-green-arrow",   // 0
    "status-not-done",    // 1
    "arrow-orange-right", // 2
    "tick-black",         // 3
    "cancel-red-disc",    // 4
};

const char* menuFile(int index)
{
    switch (index) {
    case 0:
        return "database-grid";
    case 1:
        return "note-blue-bubble";
    case 2:
        return "gear-blue";
    case 3:
        return "exclamation-yellow";
    case 5:
        return "help-shield";
    case 8:
        return "cross-red";
    case 9:
        return "notepad-pencil";
    case 11:
        return "handset-bubble";
    case 12:
        return "bubble-green-tick";
    case 13:
        return "close-box-red";
    case 14:
        return treeFiles[1];
    case 15:
        return treeFiles[4];
    case 16:
        return treeFiles[2];
    case 17:
        return treeFiles[3];
    default:
        return nullptr;
    }
}

const char* treeFile(int index)
{
    const int count = int(sizeof treeFiles / sizeof treeFiles[0]);
    return index >= 0 && index < count ? treeFiles[index] : nullptr;
}

QString picturePath(const char* name)
{
    return QStringLiteral(":/pictures/") + QLatin1String(name) + QStringLiteral(".svg");
}

// Renders one SVG file at whatever size is asked, each size once.
class SvgPicture : public QIconEngine {
public:
    SvgPicture(QString path, QList<QSize> sizes)
        : m_path(std::move(path))
        , m_sizes(std::move(sizes))
    {}

    QIconEngine* clone() const override { return new SvgPicture(m_path, m_sizes); }
    QString key() const override { return QStringLiteral("brenwick-svg"); }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return m_sizes; }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        const QSize device(qMax(1, int(std::lround(size.width() * scale))),
                           qMax(1, int(std::lround(size.height() * scale))));
        const QString cacheKey = QStringLiteral("%1@%2x%3:%4")
                                     .arg(m_path)
                                     .arg(device.width())
                                     .arg(device.height())
                                     .arg(int(mode));
        QPixmap out;
        if (QPixmapCache::find(cacheKey, &out))
            return out;
        QImage image(device, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer().render(&painter, QRectF(QPointF(0, 0), device));
        painter.end();
        out = QPixmap::fromImage(image);
        if (mode == QIcon::Disabled) {
            QImage grey = image.convertToFormat(QImage::Format_ARGB32);
            for (int y = 0; y < grey.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(grey.scanLine(y));
                for (int x = 0; x < grey.width(); ++x) {
                    const int g = qGray(line[x]);
                    line[x] = qRgba(g, g, g, qAlpha(line[x]) / 2);
                }
            }
            out = QPixmap::fromImage(grey);
        }
        out.setDevicePixelRatio(scale);
        QPixmapCache::insert(cacheKey, out);
        return out;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, scale));
    }

private:
    QSvgRenderer& renderer()
    {
        if (!m_renderer) {
            static const bool ready = (initPictureResources(), true);
            Q_UNUSED(ready);
            m_renderer = std::make_shared<QSvgRenderer>(m_path);
        }
        return *m_renderer;
    }

    QString m_path;
    QList<QSize> m_sizes;
    std::shared_ptr<QSvgRenderer> m_renderer;
};

QIcon svgIcon(const QString& path, QList<QSize> sizes)
{
    return QIcon(new SvgPicture(path, std::move(sizes)));
}

QIcon pictureIcon(const char* name)
{
    // One icon per file: the tree asks for its pictures at every rebuild.
    static QHash<QString, QIcon> icons;
    const QString path = picturePath(name);
    auto it = icons.constFind(path);
    if (it == icons.constEnd())
        it = icons.insert(path, svgIcon(path, {QSize(16, 16), QSize(32, 32)}));
    return *it;
}

} // namespace

namespace Pictures {

QIcon imageList1(int index)
{
    const char* name = treeFile(index);
    return name ? pictureIcon(name) : QIcon();
}

QIcon imageList2(int index)
{
    const char* name = menuFile(index);
    return name ? pictureIcon(name) : QIcon();
}

QIcon gxszPicture(int index)
{
    static const char* const files[] = {"gear-blue", "palette", "notepad-pencil", "clock-blue",
                                        "note-blue-bubble"};
    return index >= 0 && index < 5 ? pictureIcon(files[index]) : QIcon();
}

QIcon viewPicture(int index)
{
    const char* const files[] = {"magnifier-blue", "table-rows", "tick-black"};
    return index >= 0 && index < 3 ? pictureIcon(files[index]) : QIcon();
}

QIcon appIcon()
{
    static const QIcon icon =
        svgIcon(QStringLiteral(":/ovak.svg"), {QSize(16, 16), QSize(32, 32), QSize(48, 48)});
    return icon;
}

} // namespace Pictures
