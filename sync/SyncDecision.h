#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// What one round does with one item, decided from the state recorded at the
// last sync and both sides' state now. Nothing here depends on a log of
// changes: an item is new, changed or deleted on a side by comparison.
namespace Sync {

// One item as both sides stood at the end of its last sync.
struct Status {
    QString uid;
    QString href;         // where the server keeps it
    QString etag;         // its ETag then; empty when the server never said
    QByteArray localHash; // the local side's content hash then
};

struct Local {
    bool present = false;
    QByteArray hash;
};

struct Remote {
    bool present = false;
    QString etag;
};

enum class Action {
    Nothing,
    UploadNew,     // PUT with If-None-Match: *
    UploadChanged, // PUT with If-Match: the recorded ETag
    Download,      // the server's version replaces or becomes the local item
    DeleteRemote,  // DELETE with If-Match: the recorded ETag
    DeleteLocal,
    RecordOnly, // both sides agree already: only the record changes (gone on both)
    // Both sides hold a version and neither is known to be the other's
    // descendant: the server's wins in place, and the local one is kept as a
    // new item marked as a conflict copy, unless the two are the same.
    Conflict,
};

// Changed on both sides is a conflict. Deleted on the server but changed
// here: the change is uploaded as a new object, since a deletion must not
// take an edit the deleter never saw. Deleted here but changed on the server:
// the server's version comes back, for the same reason.
Action decide(const std::optional<Status>& recorded, const Local& local, const Remote& remote);

const char* actionName(Action action);

} // namespace Sync
