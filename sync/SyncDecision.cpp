#include "sync/SyncDecision.h"

namespace Sync {

Action decide(const std::optional<Status>& recorded, const Local& local, const Remote& remote)
{
    if (!recorded) {
        if (local.present && remote.present)
            return Action::Conflict; // both made it, or the record was lost: compare
        if (local.present)
            return Action::UploadNew;
        if (remote.present)
            return Action::Download;
        return Action::Nothing;
    }
    // An ETag the server never told is no proof of an unchanged copy.
    const bool localChanged = local.present && local.hash != recorded->localHash;
    const bool remoteChanged =
        remote.present && (remote.etag != recorded->etag || recorded->etag.isEmpty());

    if (!local.present && !remote.present)
        return Action::RecordOnly;
    if (!remote.present)
        return localChanged ? Action::UploadNew : Action::DeleteLocal;
    if (!local.present)
        return remoteChanged ? Action::Download : Action::DeleteRemote;
    if (localChanged && remoteChanged)
        return Action::Conflict;
    if (localChanged)
        return Action::UploadChanged;
    if (remoteChanged)
        return Action::Download;
    return Action::Nothing;
}

const char* actionName(Action action)
{
    switch (action) {
    case Action::Nothing:
        return "Nothing";
    case Action::UploadNew:
        return "UploadNew";
    case Action::UploadChanged:
        return "UploadChanged";
    case Action::Download:
        return "Download";
    case Action::DeleteRemote:
        return "DeleteRemote";
    case Action::DeleteLocal:
        return "DeleteLocal";
    case Action::RecordOnly:
        return "RecordOnly";
    case Action::Conflict:
        return "Conflict";
    }
    return "?";
}

} // namespace Sync
