#include "sync/SyncEngine.h"

#include <QSet>
#include <algorithm>
#include <exception>

using Dav::ErrorKind;
using Sync::Action;

namespace {

struct Stop {
    Dav::Error error;
};

// Errors after which no later request of the round can succeed either.
bool stopsRound(const Dav::Error& e)
{
    switch (e.kind) {
    case ErrorKind::None:
    case ErrorKind::NotFound:
    case ErrorKind::Conflict:
    case ErrorKind::UidConflict:
        return false;
    case ErrorKind::Http:
        return e.status >= 500;
    default:
        return true;
    }
}

bool remoteFirst(Action a)
{
    return a == Action::Download || a == Action::DeleteLocal || a == Action::Conflict ||
           a == Action::RecordOnly;
}

} // namespace

QString SyncReport::text() const
{
    if (!localError.isEmpty())
        return QStringLiteral("同步中断：%1").arg(localError);
    if (error)
        return error.text;
    QStringList parts;
    if (uploaded)
        parts << QStringLiteral("上传 %1 项").arg(uploaded);
    if (downloaded)
        parts << QStringLiteral("下载 %1 项").arg(downloaded);
    if (deletedRemote)
        parts << QStringLiteral("删除服务器上 %1 项").arg(deletedRemote);
    if (deletedLocal)
        parts << QStringLiteral("删除本地 %1 项").arg(deletedLocal);
    QString text = parts.isEmpty()
                       ? QStringLiteral("同步完成，两边没有变化")
                       : QStringLiteral("同步完成：") + parts.join(QStringLiteral("，"));
    if (!conflicts.isEmpty())
        text +=
            QStringLiteral("；%1 项两边都改过，服务器的版本已采用，本机的版本另存为〔冲突〕日程")
                .arg(conflicts.size());
    if (!refused.isEmpty())
        text += QStringLiteral("；服务器拒收 %1 项，下次再试").arg(refused.size());
    return text;
}

class SyncEngine::Round {
public:
    explicit Round(SyncEngine& engine)
        : e(engine)
    {}

    void run();
    SyncReport report;

private:
    DavListing collect(const QString& token);
    DavListing list();
    void learnRemote(const DavListing& listing);
    void act(const QString& uid, Action action);
    void download(const QString& uid, const RemoteItem& item);
    void conflict(const QString& uid, const RemoteItem& item);
    void uploadNew(const QString& uid);
    void uploadChanged(const QString& uid);
    void deleteRemote(const QString& uid);
    std::optional<RemoteItem> fetchOne(const QString& href);
    void refusedOrStop(const QString& uid, const Dav::Error& error);
    void record(const Sync::Status& status);
    void forget(const QString& uid);
    QUrl urlOf(const QString& href) const { return Dav::resolve(e.m_collection, href); }
    QString key(const QString& href) const { return Dav::hrefKey(e.m_collection, href); }

    SyncEngine& e;
    QHash<QString, Sync::Status> m_records; // by UID, kept current through the round
    QHash<QString, QByteArray> m_local;     // UID -> hash
    QHash<QString, RemoteItem> m_remote;    // UID -> the server's item, where present
    bool m_full = false;
    int m_pushed = 0;
};

SyncEngine::SyncEngine(CalDavClient& client, const QUrl& collection, SyncLocalSide& local,
                       SyncStatusStore& status)
    : m_client(client)
    , m_collection(collection)
    , m_local(local)
    , m_status(status)
{}

SyncReport SyncEngine::run()
{
    Round round(*this);
    const qint64 before = m_client.counters().requests;
    try {
        round.run();
    } catch (const Stop& stop) {
        round.report.error = stop.error;
    } catch (const std::exception& failure) {
        round.report.localError = QString::fromUtf8(failure.what());
    }
    round.report.requests = int(m_client.counters().requests - before);
    return round.report;
}

void SyncEngine::Round::record(const Sync::Status& status)
{
    e.m_status.put(status);
    m_records.insert(status.uid, status);
}

void SyncEngine::Round::forget(const QString& uid)
{
    e.m_status.forget(uid);
    m_records.remove(uid);
}

// A sync-collection answer, asked again while the server says it sent part.
DavListing SyncEngine::Round::collect(const QString& token)
{
    DavListing all = CalDavClient::wait(e.m_client.syncCollection(e.m_collection, token));
    for (int pages = 0; !all.error && all.truncated && pages < 1000; ++pages) {
        DavListing more = CalDavClient::wait(e.m_client.syncCollection(e.m_collection, all.token));
        if (more.error)
            return more;
        all.changed += more.changed;
        all.removed += more.removed;
        all.token = more.token;
        all.truncated = more.truncated;
    }
    return all;
}

DavListing SyncEngine::Round::list()
{
    const QString token = e.m_status.token();
    if (!token.isEmpty()) {
        DavListing changes = collect(token);
        // A server that no longer knows the token says so (RFC 6578); some
        // fail with a server error instead. Either way the full listing mends it.
        const bool forgotten =
            changes.error.kind == ErrorKind::TokenInvalid ||
            (changes.error.kind == ErrorKind::Http && changes.error.status >= 500);
        if (!changes.error)
            return changes;
        if (!forgotten)
            throw Stop{changes.error};
    }
    m_full = true;
    report.fullListing = true;
    DavListing all = collect(QString());
    if (!all.error)
        return all;
    if (stopsRound(all.error) && all.error.kind != ErrorKind::Protocol &&
        !(all.error.kind == ErrorKind::Http && all.error.status == 501))
        throw Stop{all.error};
    // No sync-collection here: the ETags of every object instead.
    all = CalDavClient::wait(e.m_client.listEtags(e.m_collection));
    if (all.error)
        throw Stop{all.error};
    return all;
}

// What the server holds now, by UID: fetched where new or changed since the
// record, taken from the record where the listing says nothing new.
void SyncEngine::Round::learnRemote(const DavListing& listing)
{
    QHash<QString, Dav::Resource> listed; // href key -> resource
    QSet<QString> removed;
    for (const Dav::Resource& r : listing.changed) {
        listed.insert(key(r.href), r);
        removed.remove(key(r.href));
    }
    for (const QString& href : listing.removed) {
        removed.insert(key(href));
        listed.remove(key(href));
    }
    QHash<QString, QString> recordedAt; // href key -> UID
    for (const Sync::Status& s : std::as_const(m_records))
        recordedAt.insert(key(s.href), s.uid);

    QStringList wanted;
    for (const Dav::Resource& r : std::as_const(listed)) {
        const QString uid = recordedAt.value(key(r.href));
        if (uid.isEmpty() || r.etag.isEmpty() || m_records.value(uid).etag != r.etag)
            wanted << r.href;
    }
    std::sort(wanted.begin(), wanted.end());
    const DavFetched fetched = CalDavClient::wait(e.m_client.fetch(e.m_collection, wanted));
    if (fetched.error)
        throw Stop{fetched.error};
    for (const QString& href : fetched.missing) // gone since the listing
        removed.insert(key(href));

    QList<Dav::Resource> resources = fetched.resources;
    std::sort(resources.begin(), resources.end(),
              [](const Dav::Resource& a, const Dav::Resource& b) { return a.href < b.href; });
    QHash<QString, QString> holds; // href key -> the UID found there
    const auto stillThere = [&](const QString& k) {
        return !removed.contains(k) && (!m_full || listed.contains(k));
    };
    for (const Dav::Resource& r : std::as_const(resources)) {
        const QString uid = Dav::uidOf(r.data);
        const QString k = key(r.href);
        if (uid.isEmpty() || m_remote.contains(uid)) {
            ++report.skipped; // no UID, or a second object of one UID
            holds.insert(k, QString());
            continue;
        }
        // The UID at a new href while its recorded one is still there: a copy.
        const auto rec = m_records.constFind(uid);
        if (rec != m_records.cend() && key(rec->href) != k && stillThere(key(rec->href)) &&
            !holds.contains(key(rec->href))) {
            ++report.skipped;
            holds.insert(k, QString());
            continue;
        }
        m_remote.insert(uid, RemoteItem{true, r.href, r.etag, r.data});
        holds.insert(k, uid);
    }
    for (const Sync::Status& s : std::as_const(m_records)) {
        if (m_remote.contains(s.uid))
            continue;
        const QString k = key(s.href);
        if (!stillThere(k) || (holds.contains(k) && !holds.value(k).isEmpty()))
            continue; // absent: removed, or its href now holds another item
        const QString etag =
            listed.contains(k) && !holds.contains(k) ? listed.value(k).etag : s.etag;
        m_remote.insert(s.uid, RemoteItem{true, s.href, etag, {}});
    }
}

void SyncEngine::Round::run()
{
    for (const Sync::Status& s : e.m_status.statuses())
        m_records.insert(s.uid, s);
    const DavListing listing = list();
    learnRemote(listing);
    for (const SyncLocalSide::Item& item : e.m_local.items())
        m_local.insert(item.uid, item.hash);

    QSet<QString> all;
    for (auto it = m_records.cbegin(); it != m_records.cend(); ++it)
        all.insert(it.key());
    for (auto it = m_local.cbegin(); it != m_local.cend(); ++it)
        all.insert(it.key());
    for (auto it = m_remote.cbegin(); it != m_remote.cend(); ++it)
        all.insert(it.key());
    QStringList uids(all.cbegin(), all.cend());
    std::sort(uids.begin(), uids.end());

    QList<QPair<QString, Action>> actions;
    for (const QString& uid : std::as_const(uids)) {
        std::optional<Sync::Status> recorded;
        if (m_records.contains(uid))
            recorded = m_records.value(uid);
        Sync::Local local;
        local.present = m_local.contains(uid);
        local.hash = m_local.value(uid);
        Sync::Remote remote;
        remote.present = m_remote.contains(uid);
        remote.etag = m_remote.value(uid).etag;
        const Action action = Sync::decide(recorded, local, remote);
        if (action != Action::Nothing)
            actions.append({uid, action});
    }
    // The server's changes first: a conflict makes a copy to upload after.
    std::stable_partition(actions.begin(), actions.end(),
                          [](const auto& a) { return remoteFirst(a.second); });
    for (int i = 0; i < actions.size(); ++i)
        act(actions.at(i).first, actions.at(i).second);
    for (int i = 0; i < report.conflicts.size(); ++i)
        uploadNew(report.conflicts.at(i));

    // Our own writes show up in the next listing: read past them now, so an
    // idle round after this one costs one small request. Another client's
    // change among them keeps the older token, to be listed next time.
    QString token = listing.token;
    if (!token.isEmpty() && m_pushed > 0) {
        const DavListing after = collect(token);
        if (!after.error) {
            QHash<QString, QString> etagAt;
            for (const Sync::Status& s : std::as_const(m_records))
                etagAt.insert(key(s.href), s.etag);
            bool ours = true;
            for (const Dav::Resource& r : after.changed)
                ours = ours && etagAt.contains(key(r.href)) &&
                       etagAt.value(key(r.href)) == r.etag && !r.etag.isEmpty();
            for (const QString& href : after.removed)
                ours = ours && !etagAt.contains(key(href));
            if (ours)
                token = after.token;
        }
    }
    e.m_status.setToken(token);
}

void SyncEngine::Round::act(const QString& uid, Action action)
{
    switch (action) {
    case Action::Nothing:
        break;
    case Action::RecordOnly:
        forget(uid);
        break;
    case Action::Download:
        download(uid, m_remote.value(uid));
        break;
    case Action::DeleteLocal:
        e.m_local.remove(uid);
        forget(uid);
        ++report.deletedLocal;
        break;
    case Action::Conflict:
        conflict(uid, m_remote.value(uid));
        break;
    case Action::UploadNew:
        uploadNew(uid);
        break;
    case Action::UploadChanged:
        uploadChanged(uid);
        break;
    case Action::DeleteRemote:
        deleteRemote(uid);
        break;
    }
}

void SyncEngine::Round::download(const QString& uid, const RemoteItem& item)
{
    const QByteArray hash = e.m_local.write(uid, item.data);
    record({uid, item.href, item.etag, hash});
    ++report.downloaded;
}

void SyncEngine::Round::conflict(const QString& uid, const RemoteItem& item)
{
    // The same content on both sides (the same edit, or a write of ours whose
    // record a cut-off round never made) is no conflict.
    const QByteArray current = m_local.value(uid);
    if (e.m_local.hashOf(item.data) == current) {
        record({uid, item.href, item.etag, current});
        return;
    }
    const QStringList copies = e.m_local.keepConflictCopies(uid);
    download(uid, item);
    --report.downloaded;
    report.conflicts << copies;
}

std::optional<SyncEngine::RemoteItem> SyncEngine::Round::fetchOne(const QString& href)
{
    const DavFetched f = CalDavClient::wait(e.m_client.fetch(e.m_collection, {href}));
    if (f.error)
        throw Stop{f.error};
    if (f.resources.isEmpty())
        return std::nullopt;
    const Dav::Resource& r = f.resources.first();
    return RemoteItem{true, r.href, r.etag, r.data};
}

void SyncEngine::Round::refusedOrStop(const QString& uid, const Dav::Error& error)
{
    if (stopsRound(error))
        throw Stop{error};
    report.refused << uid;
}

void SyncEngine::Round::uploadNew(const QString& uid)
{
    const QByteArray data = e.m_local.read(uid);
    const QByteArray hash = e.m_local.hashOf(data);
    QString href = Dav::hrefOf(e.m_collection);
    if (!href.endsWith(QLatin1Char('/')))
        href += QLatin1Char('/');
    href += QString::fromLatin1(QUrl::toPercentEncoding(Dav::resourceNameFor(uid), "@"));
    const DavStored stored = CalDavClient::wait(e.m_client.put(urlOf(href), data, QString()));
    ++m_pushed;
    if (stored.written) {
        e.m_local.uploaded(uid, data);
        record({uid, href, stored.etag, hash});
        ++report.uploaded;
        return;
    }
    if (stored.error.kind != ErrorKind::Conflict) {
        refusedOrStop(uid, stored.error);
        return;
    }
    // Something is there already: the same item from elsewhere is a conflict
    // to settle; anything else under our name is not ours to replace.
    const auto there = fetchOne(href);
    if (there && Dav::uidOf(there->data) == uid) {
        m_local.insert(uid, hash);
        conflict(uid, *there);
    } else {
        report.refused << uid;
    }
}

void SyncEngine::Round::uploadChanged(const QString& uid)
{
    const Sync::Status recorded = m_records.value(uid);
    const QByteArray data = e.m_local.read(uid);
    const QByteArray hash = e.m_local.hashOf(data);
    const DavStored stored =
        CalDavClient::wait(e.m_client.put(urlOf(recorded.href), data, recorded.etag));
    ++m_pushed;
    if (stored.written) {
        e.m_local.uploaded(uid, data);
        record({uid, recorded.href, stored.etag, hash});
        ++report.uploaded;
        return;
    }
    if (stored.error.kind != ErrorKind::Conflict) {
        refusedOrStop(uid, stored.error);
        return;
    }
    // Changed on the server since the listing.
    const auto there = fetchOne(recorded.href);
    m_local.insert(uid, hash);
    if (there) {
        conflict(uid, *there);
    } else {
        forget(uid);
        uploadNew(uid);
    }
}

void SyncEngine::Round::deleteRemote(const QString& uid)
{
    const Sync::Status recorded = m_records.value(uid);
    const DavStored stored =
        CalDavClient::wait(e.m_client.remove(urlOf(recorded.href), recorded.etag));
    ++m_pushed;
    if (stored.written) {
        forget(uid);
        ++report.deletedRemote;
        return;
    }
    if (stored.error.kind != ErrorKind::Conflict) {
        refusedOrStop(uid, stored.error);
        return;
    }
    // Changed on the server since the listing: that version comes back.
    const auto there = fetchOne(recorded.href);
    if (there)
        download(uid, *there);
    else
        forget(uid);
}
