// The handlers of the host's document notifications: each turns the host's document into the path
// text of its file, and the lifecycle layer keeps the registry in step with what the host opens,
// saves and closes. That work waits its turn behind a running DMS operation (DmslinkQueued), so the
// host's document is read here, as the notification comes. Registered at start-up, never unregistered.
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
    DmslinkQueued(VX_SITE(kSite, "TS_DocDidOpen"), [&](CDmslinkModule&) -> CDmslinkModule::Work {
        return [doc, path = FilePathOf(doc)](CDmslinkModule& module) { module.Lifecycle().DocumentOpened(doc, path); };
    });
}

void VXAPI TS_AVDocDidOpen(AVDoc view, void*) {
    DmslinkEntry(VX_SITE(kSite, "TS_AVDocDidOpen"), [&](CDmslinkModule&) { TS_OpenHandler(VxViewGetDoc(view), nullptr); });
}

void VXAPI TS_PDDocDidSave(PDDoc doc, void*) {
    DmslinkQueued(VX_SITE(kSite, "TS_PDDocDidSave"), [&](CDmslinkModule& current) -> CDmslinkModule::Work {
        // The save of a copy is told apart as it comes: the next 38 changes the origin.
        const SaveOrigin& origin = current.Origin();
        if (origin.flag && origin.document == doc) return nullptr;
        std::wstring path;
        bool known = false;
        VX_TRY {
            path = FilePathOf(doc);
            known = true;
        }
        VX_CATCH(kSite, "TS_PDDocDidSave")
        return [doc, path, known](CDmslinkModule& module) {
            CDocumentManager& documents = module.Documents();
            if (known) {
                VX_TRY {
                    // A skipped save keeps the last Save As path too.
                    if (documents.CheckSkipSavePath(path)) return;
                    VX_TRY { TraceSavedFile(path); }
                    VX_CATCH(kSite, "TS_PDDocDidSave")
                    module.Lifecycle().DocumentSaved(doc, path);
                }
                VX_CATCH(kSite, "TS_PDDocDidSave")
            }
            documents.ReleaseLastSaveAsPath();
        };
    });
}

void VXAPI TS_PDDocDidClose(PDDoc doc, void*) {
    DmslinkQueued(VX_SITE(kSite, "TS_PDDocDidClose"), [&](CDmslinkModule&) -> CDmslinkModule::Work {
        return [doc](CDmslinkModule& module) { module.Lifecycle().DocumentWasClosed(doc); };
    });
}

// Never while an operation runs: the copy a check-out is writing has no record yet.
void VXAPI TS_ClearTempFiles(void*) {
    DmslinkQueued(VX_SITE(kSite, "TS_ClearTempFiles"), [](CDmslinkModule&) -> CDmslinkModule::Work {
        return [](CDmslinkModule& module) { module.Documents().ClearTempFolders(); };
    });
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
