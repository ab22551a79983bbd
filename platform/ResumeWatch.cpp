#include "platform/ResumeWatch.h"

ResumeWatch::ResumeWatch(QObject* parent)
    : ResumeWatch(QDBusConnection::systemBus(), parent)
{}

ResumeWatch::ResumeWatch(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
{
    if (!bus.isConnected())
        return;
    QDBusConnection connection(bus);
    m_watching = connection.connect(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
        SLOT(prepareForSleep(bool)));
}

void ResumeWatch::prepareForSleep(bool sleeping)
{
    if (!sleeping)
        emit resumed();
}
