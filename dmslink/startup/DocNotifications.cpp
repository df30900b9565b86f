// The handlers of the host's document notifications: they keep the document registry in step with
// what the host opens, saves and closes. Registered at start-up, never unregistered.
#include <stdexcept>

#include "Files/CAPFileSpecifier.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxTrace.h"
#include "documents/CDocumentManager.h"
#include "startup/PluginState.h"

namespace {

const char kSite[] = "PluginInit";

// Low 32 bits of seconds since 1970 UTC, as the registry's file-status lines give them.
long UnixSeconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    const unsigned long long kEpoch = 116444736000000000ULL;  // 1601 to 1970 in 100 ns
    unsigned long long seconds = value.QuadPart >= kEpoch ? (value.QuadPart - kEpoch) / 10000000ULL : 0;
    return static_cast<long>(static_cast<unsigned long>(seconds));
}

void TraceFileStatus(ASPathName path) {
    CAPFileSpecifier file(path);
    WIN32_FILE_ATTRIBUTE_DATA status;
    if (file.IsEmpty() || !GetFileAttributesExW(file.GetPath(), GetFileExInfoStandard, &status))
        throw std::runtime_error("no status of the saved file");
    VxTrace("File acces time:", UnixSeconds(status.ftLastAccessTime));
    VxTrace("File creation time:", UnixSeconds(status.ftCreationTime));
    VxTrace("File modification time:", UnixSeconds(status.ftLastWriteTime));
    VxTrace("File size:", static_cast<long>(status.nFileSizeLow));
}

}  // namespace

void TS_DocDidOpen(PDDoc doc) {
    VX_TRY {
        if (!gDocumentManager) return;
        CDocumentManager& documents = *gDocumentManager;
        ASFile file = VxDocGetFile(doc);
        ScopedHostPath path(VxFileGetFileSys(file), VxFileGetPath(file));
        if (documents.CheckFileData(doc, path.get()) || documents.CheckDeskClientData(doc, path.get())) {
            path.ReleaseIn(VxDefaultFileSys());
            return;
        }
        if (TrackedDocument* record = documents.FindASPathName(path.get())) record->pdDoc = doc;
    }
    VX_CATCH(kSite, "TS_DocDidOpen")
}

void VXAPI TS_OpenHandler(PDDoc doc, void*) {
    VX_MANAGE_STATE();
    TS_DocDidOpen(doc);
}

void VXAPI TS_AVDocDidOpen(AVDoc view, void*) {
    VX_MANAGE_STATE();
    VX_TRY { TS_DocDidOpen(VxViewGetDoc(view)); }
    VX_CATCH(kSite, "TS_AVDocDidOpen")
}

void VXAPI TS_PDDocDidSave(PDDoc doc, void*) {
    VX_MANAGE_STATE();
    if (!gDocumentManager) return;
    if (gSaveOrigin.flag && gSaveOrigin.document == doc) return;
    CDocumentManager& documents = *gDocumentManager;
    bool skipped = false;
    VX_TRY {
        ScopedHostPath path(VxDefaultFileSys(), VxFileGetPath(VxDocGetFile(doc)));
        if (documents.CheckSkipSavePath(path.get())) {
            skipped = true;
            return;
        }
        VX_TRY {
            VxTraceLine("TS_PDDocDidSave");
            TraceFileStatus(path.get());
        }
        VX_CATCH(kSite, "TS_PDDocDidSave")
        if (TrackedDocument* record = documents.FindPDDoc(doc)) {
            record->saved = true;
            if (documents.IsLastSaveAsPath(path.get())) documents.ReleasePendingDocument();
        } else if (documents.IsLastSaveAsPath(path.get())) {
            // The record that the Save As to the DMS registered for its new path.
            if (TrackedDocument* target = documents.FindASPathName(path.get())) {
                target->pdDoc = doc;
                target->saved = true;
                documents.ReleasePendingDocument();
            }
        }
    }
    VX_CATCH(kSite, "TS_PDDocDidSave")
    if (!skipped) documents.ReleaseLastSaveAsPath();
}

void VXAPI TS_PDDocDidClose(PDDoc doc, void*) {
    VX_MANAGE_STATE();
    VX_TRY {
        if (gDocumentManager) gDocumentManager->DocumentWasClosedForDoc(doc);
    }
    VX_CATCH(kSite, "TS_PDDocDidClose")
}

void VXAPI TS_ClearTempFiles(void*) {
    VX_MANAGE_STATE();
    if (gDocumentManager) gDocumentManager->ClearTempFolders();
}

void VXAPI TS_SaveOrigin(PDDoc doc, const ASUns32* saveParams, void*) {
    VX_MANAGE_STATE();
    if (saveParams && (saveParams[1] & kSaveFlagCopy)) {
        gSaveOrigin.document = doc;
        gSaveOrigin.flag = true;
    } else {
        gSaveOrigin = SaveOrigin{};
    }
}
