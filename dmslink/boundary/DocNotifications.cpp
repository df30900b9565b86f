// The handlers of the host's document notifications: each turns the host's document into the path
// text of its file, and the lifecycle layer keeps the registry in step with what the host opens,
// saves and closes. Registered at start-up, never unregistered.
#include <stdexcept>

#include "Files/CAPPathText.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxTrace.h"
#include "boundary/Boundary.h"
#include "documents/TempWorkspace.h"

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

void VXAPI TS_OpenHandler(PDDoc doc, void*) {
    DmslinkEntry(VX_SITE(kSite, "TS_DocDidOpen"),
                 [&](CDmslinkModule& module) { module.Lifecycle().DocumentOpened(doc, FilePathOf(doc)); });
}

void VXAPI TS_AVDocDidOpen(AVDoc view, void*) {
    DmslinkEntry(VX_SITE(kSite, "TS_AVDocDidOpen"), [&](CDmslinkModule&) { TS_OpenHandler(VxViewGetDoc(view), nullptr); });
}

void VXAPI TS_PDDocDidSave(PDDoc doc, void*) {
    DmslinkEntry(VX_SITE(kSite, "TS_PDDocDidSave"), [&](CDmslinkModule& module) {
        const SaveOrigin& origin = module.Origin();
        if (origin.flag && origin.document == doc) return;
        CDocumentManager& documents = module.Documents();
        VX_TRY {
            std::wstring path = FilePathOf(doc);
            // A skipped save keeps the last Save As path too.
            if (documents.CheckSkipSavePath(path)) return;
            VX_TRY { TraceSavedFile(path); }
            VX_CATCH(kSite, "TS_PDDocDidSave")
            module.Lifecycle().DocumentSaved(doc, path);
        }
        VX_CATCH(kSite, "TS_PDDocDidSave")
        documents.ReleaseLastSaveAsPath();
    });
}

void VXAPI TS_PDDocDidClose(PDDoc doc, void*) {
    DmslinkEntry(VX_SITE(kSite, "TS_PDDocDidClose"),
                 [&](CDmslinkModule& module) { module.Lifecycle().DocumentWasClosed(doc); });
}

void VXAPI TS_ClearTempFiles(void*) {
    DmslinkEntry(VX_SITE(kSite, "TS_ClearTempFiles"),
                 [](CDmslinkModule& module) { module.Documents().ClearTempFolders(); });
}

void VXAPI TS_SaveOrigin(PDDoc doc, const ASUns32* saveParams, void*) {
    DmslinkEntry(VX_SITE(kSite, "TS_SaveOrigin"), [&](CDmslinkModule& module) {
        SaveOrigin& origin = module.Origin();
        if (saveParams && (saveParams[1] & kSaveFlagCopy))
            origin = SaveOrigin{doc, true};
        else
            origin = SaveOrigin{};
    });
}
