#include "platform/SecretStore.h"

// GLib names a member "signals", which Qt's keywords would rewrite.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace {

const QString service = QStringLiteral("org.freedesktop.secrets");

// The schema of the program's items: the server and the user name.
SecretSchema schemaOf(const QByteArray& name)
{
    SecretSchema schema{};
    schema.name = name.constData();
    schema.flags = SECRET_SCHEMA_NONE;
    schema.attributes[0] = {"server", SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema.attributes[1] = {"user", SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema.attributes[2] = {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING};
    return schema;
}

SecretStore::Result failed(GError* error)
{
    SecretStore::Result r;
    r.status = SecretStore::Status::Failed;
    r.error = QString::fromUtf8(error ? error->message : "");
    if (error)
        g_error_free(error);
    return r;
}

SecretStore::Result unavailable()
{
    SecretStore::Result r;
    r.status = SecretStore::Status::Unavailable;
    return r;
}

} // namespace

SecretStore::SecretStore(const QString& schema)
    : m_schema(schema.toUtf8())
{}

bool SecretStore::available()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(service))
        return true;
    const QDBusReply<QStringList> names = bus.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListActivatableNames")));
    return names.isValid() && names.value().contains(service);
}

SecretStore::Result SecretStore::lookup(const QString& server, const QString& user) const
{
    if (!available())
        return unavailable();
    const SecretSchema schema = schemaOf(m_schema);
    GError* error = nullptr;
    gchar* found =
        secret_password_lookup_sync(&schema, nullptr, &error, "server", server.toUtf8().constData(),
                                    "user", user.toUtf8().constData(), nullptr);
    if (error)
        return failed(error);
    Result r;
    r.status = found ? Status::Ok : Status::NotFound;
    if (found) {
        r.password = QString::fromUtf8(found);
        secret_password_free(found);
    }
    return r;
}

SecretStore::Result SecretStore::store(const QString& server, const QString& user,
                                       const QString& password) const
{
    if (!available())
        return unavailable();
    const SecretSchema schema = schemaOf(m_schema);
    const QByteArray label =
        (QString::fromUtf8(m_schema) + QStringLiteral(": ") + user + QLatin1Char('@') + server)
            .toUtf8();
    GError* error = nullptr;
    const gboolean stored = secret_password_store_sync(
        &schema, SECRET_COLLECTION_DEFAULT, label.constData(), password.toUtf8().constData(),
        nullptr, &error, "server", server.toUtf8().constData(), "user", user.toUtf8().constData(),
        nullptr);
    if (error || !stored)
        return failed(error);
    Result r;
    r.status = Status::Ok;
    return r;
}

SecretStore::Result SecretStore::remove(const QString& server, const QString& user) const
{
    if (!available())
        return unavailable();
    const SecretSchema schema = schemaOf(m_schema);
    GError* error = nullptr;
    const gboolean removed =
        secret_password_clear_sync(&schema, nullptr, &error, "server", server.toUtf8().constData(),
                                   "user", user.toUtf8().constData(), nullptr);
    if (error)
        return failed(error);
    Result r;
    r.status = removed ? Status::Ok : Status::NotFound;
    return r;
}
