#include "resources/Pictures.h"

#include <QCoreApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <initializer_list>

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

QSvgRenderer* openRenderer(QSvgRenderer& renderer, const QString& path)
{
    static const bool resourcesReady = (initPictureResources(), true);
    Q_UNUSED(resourcesReady);
    renderer.load(path);
    return renderer.isValid() ? &renderer : nullptr;
}

QPixmap render(QSvgRenderer& renderer, int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, side, side));
    painter.end();
    return QPixmap::fromImage(image);
}

// Exact renderings at the whole multiples of the 16-unit grid stay sharp; 24
// covers 150 % scaling better than shrinking the 32 px one.
QIcon buildIcon(const QString& path, std::initializer_list<int> sides)
{
    QSvgRenderer renderer;
    if (!openRenderer(renderer, path))
        return QIcon();
    QIcon icon;
    for (int side : sides)
        icon.addPixmap(render(renderer, side));
    return icon;
}

// Tree nodes ask for their picture on every rebuild; render each file once.
QIcon cachedIcon(const char* name)
{
    static QHash<QString, QIcon> cache;
    static bool cleanupRegistered = false;
    if (!cleanupRegistered) {
        // Pixmaps must go before the GUI application does.
        qAddPostRoutine([] {
            cache.clear();
            cleanupRegistered = false;
        });
        cleanupRegistered = true;
    }
    const QString path = picturePath(name);
    auto it = cache.constFind(path);
    if (it != cache.constEnd())
        return *it;
    const QIcon icon = buildIcon(path, {16, 24, 32, 48, 64});
    cache.insert(path, icon);
    return icon;
}

} // namespace

namespace Pictures {

QIcon imageList1(int index)
{
    const char* name = treeFile(index);
    return name ? cachedIcon(name) : QIcon();
}

QIcon imageList2(int index)
{
    const char* name = menuFile(index);
    return name ? cachedIcon(name) : QIcon();
}

QPixmap pixmap1(int index, qreal devicePixelRatio)
{
    const char* name = treeFile(index);
    if (!name)
        return QPixmap();
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QSvgRenderer renderer;
    if (!openRenderer(renderer, picturePath(name)))
        return QPixmap();
    QPixmap pixmap = render(renderer, qMax(1, int(std::lround(16 * ratio))));
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QIcon appIcon()
{
    return buildIcon(QStringLiteral(":/ovak.svg"), {16, 22, 24, 32, 48, 64, 128, 256});
}

} // namespace Pictures
