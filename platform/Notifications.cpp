#include "platform/Notifications.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPointer>
#include <QStandardPaths>
#include <QUrl>

namespace {
Notifications* installed = nullptr;

// A picture as the notice's raw image (image-data: width, height, row
// stride, alpha, bits per sample, channels, the bytes in RGBA order).
struct RawImage {
    QImage image;
};

QDBusArgument& operator<<(QDBusArgument& arg, const RawImage& raw)
{
    const QImage image = raw.image.convertToFormat(QImage::Format_RGBA8888);
    arg.beginStructure();
    arg << image.width() << image.height() << int(image.bytesPerLine()) << true << 8 << 4
        << QByteArray(reinterpret_cast<const char*>(image.constBits()), int(image.sizeInBytes()));
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, RawImage&)
{
    return arg; // sent only
}

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
// A server that takes this long to answer is as good as none; the notice is
// dropped rather than shown late.
constexpr int callTimeoutMs = 10000;
constexpr int imageSize = 48;

QDBusMessage call(const QString& method)
{
    return QDBusMessage::createMethodCall(service, path, interface, method);
}
} // namespace

Q_DECLARE_METATYPE(RawImage)

Notifications& Notifications::instance()
{
    if (installed)
        return *installed;
    // Owned by the application, whose end closes its bus connection too.
    static QPointer<DesktopNotifications> real;
    if (!real)
        real = new DesktopNotifications(QCoreApplication::instance());
    return *real;
}

void Notifications::install(Notifications* notifications)
{
    installed = notifications;
}

QString Notifications::installedIcon(const QString& name)
{
    for (const QString& data :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QDir theme(data + QStringLiteral("/icons/hicolor"));
        for (const QString& size : theme.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const char* suffix : {".png", ".svg"})
                if (QFileInfo::exists(theme.filePath(size + QStringLiteral("/apps/") + name +
                                                     QLatin1String(suffix))))
                    return name;
    }
    return QString();
}

DesktopNotifications::DesktopNotifications(QObject* parent)
    : DesktopNotifications(QDBusConnection::sessionBus(), parent)
{}

DesktopNotifications::DesktopNotifications(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{
    qDBusRegisterMetaType<RawImage>();
    if (!m_bus.isConnected())
        return;
    m_bus.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(actionInvoked(uint, QString)));
    m_bus.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                  SLOT(notificationClosed(uint, uint)));
    // A server started again knows neither our notice nor, perhaps, the
    // same capabilities.
    auto* watcher =
        new QDBusServiceWatcher(service, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] { serverChanged(); });
}

void DesktopNotifications::notify(const Notification& notification)
{
    if (!m_bus.isConnected())
        return;
    m_pending = notification;
    if (!m_capabilities)
        askCapabilities();
    else
        sendPending();
}

void DesktopNotifications::askCapabilities()
{
    if (m_asking)
        return;
    m_asking = true;
    auto* watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(call(QStringLiteral("GetCapabilities")), callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        m_asking = false;
        const QDBusPendingReply<QStringList> reply = *watcher;
        if (reply.isError()) {
            // No server: the notice is dropped, and the next one asks again.
            m_pending.reset();
            return;
        }
        m_capabilities = reply.value();
        sendPending();
    });
}

void DesktopNotifications::sendPending()
{
    if (m_sending || !m_pending || !m_capabilities)
        return;
    const Notification n = *m_pending;
    m_pending.reset();

    QString body = n.body;
    if (m_capabilities->contains(QStringLiteral("body-markup")))
        body = body.toHtmlEscaped();
    QStringList actions;
    if (m_capabilities->contains(QStringLiteral("actions")))
        for (const auto& [key, label] : n.actions)
            actions << key << label;
    QVariantMap hints;
    if (!QGuiApplication::desktopFileName().isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), QGuiApplication::desktopFileName());
    const QString icon =
        QDir::isAbsolutePath(n.icon) ? QUrl::fromLocalFile(n.icon).toString() : n.icon;
    if (icon.isEmpty() && !QGuiApplication::windowIcon().isNull()) {
        const QImage picture = QGuiApplication::windowIcon().pixmap(imageSize).toImage();
        if (!picture.isNull())
            hints.insert(QStringLiteral("image-data"), QVariant::fromValue(RawImage{picture}));
    }

    QDBusMessage message = call(QStringLiteral("Notify"));
    message << n.appName << m_id << icon << n.summary << body << actions << hints << -1;
    m_sending = true;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, n] {
        watcher->deleteLater();
        m_sending = false;
        const QDBusPendingReply<uint> reply = *watcher;
        if (!reply.isError()) {
            m_id = m_shownId = reply.value();
            m_shown = n;
            emit shown(m_id);
        }
        sendPending(); // one asked for meanwhile replaces this one
    });
}

void DesktopNotifications::actionInvoked(uint id, const QString& key)
{
    if (id != 0 && id == m_shownId && m_shown.onAction)
        m_shown.onAction(key);
}

void DesktopNotifications::notificationClosed(uint id, uint)
{
    // Closed on screen, it may live on in the server's list, whose click
    // still counts; the next notice is a new one, not a replacement.
    if (id != 0 && id == m_id)
        m_id = 0;
}

void DesktopNotifications::serverChanged()
{
    m_capabilities.reset();
    m_id = m_shownId = 0;
    m_shown = Notification();
}
