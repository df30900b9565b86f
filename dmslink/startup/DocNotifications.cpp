// The handlers of the host's document notifications: each turns the host's document into the path
// text of its file, and the lifecycle layer keeps the registry in step with what the host opens,
// saves and closes. Registered at start-up, never unregistered.
#include <stdexcept>

#include "Files/CAPPathText.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxTrace.h"
#include "documents/CDocumentManager.h"
#include "documents/TempWorkspace.h"
#include "startup/DocumentLifecycle.h"
#include "startup/PluginState.h"

namespace {

const char kSite[] = "PluginInit";

// The path of the document's open file, as text; the host's path is released in its own file system.
std::wstring FilePathOf(PDDoc doc) {
    ASFile file = VxDocGetFile(doc);
    ASFileSys fileSys = VxFileGetFileSys(file);
    ASPathName path = VxFileGetPath(file);
    std::wstring text;
    try {
        text = CAPHostPathText(path);
    } catch (...) {
        if (path) VxReleasePath(fileSys, path);
        throw;
    }
    if (path) VxReleasePath(fileSys, path);
    return text;
}

void TraceSavedFile(const std::wstring& path) {
    VxTraceLine("TS_PDDocDidSave");
    CAPHandle file = OpenForStatus(path);
    BY_HANDLE_FILE_INFORMATION status{};
    if (!ReadFileStatus(file.get(), &status)) throw std::runtime_error("no status of the saved file");
    TraceFileStatus(status);
}

}  // namespace

void TS_DocDidOpen(PDDoc doc) {
    VX_TRY {
        if (auto lifecycle = CDocumentLifecycle::Module()) lifecycle->DocumentOpened(doc, FilePathOf(doc));
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
    auto lifecycle = CDocumentLifecycle::Module();
    if (!lifecycle) return;
    if (gSaveOrigin.flag && gSaveOrigin.document == doc) return;
    CDocumentManager& documents = *gDocumentManager;
    VX_TRY {
        std::wstring path = FilePathOf(doc);
        // A skipped save keeps the last Save As path too.
        if (documents.CheckSkipSavePath(path)) return;
        VX_TRY { TraceSavedFile(path); }
        VX_CATCH(kSite, "TS_PDDocDidSave")
        lifecycle->DocumentSaved(doc, path);
    }
    VX_CATCH(kSite, "TS_PDDocDidSave")
    documents.ReleaseLastSaveAsPath();
}

void VXAPI TS_PDDocDidClose(PDDoc doc, void*) {
    VX_MANAGE_STATE();
    VX_TRY {
        if (auto lifecycle = CDocumentLifecycle::Module()) lifecycle->DocumentWasClosed(doc);
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
