// The "Tessera" table: the Open and Save decisions and the entries the host's file paths and
// preference pages call.
#include "boundary/ExtTesseraHFT.h"

#include <string>

#include "Files/CAPFileSpecifier.h"
#include "Files/CAPPathText.h"
#include "Utilities/CAPStringUtils.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxPlugin.h"
#include "boundary/Boundary.h"
#include "dialogs/CServerPropertiesDlg.h"
#include "resources/resource.h"

namespace {

const char kSite[] = "ExtTesseraHFT";

bool ShiftDown() { return (VxModifiers() & 1) != 0; }

bool DefaultRule(bool defaultLocation, bool shortcutInvert) {
    bool result = defaultLocation;
    if (shortcutInvert && ShiftDown()) result = !result;
    return result;
}

std::wstring WideText(ASText text) {
    CASText2CT wide(text);
    return wide.Get() ? std::wstring(wide.Get()) : std::wstring();
}

// A new host text for an output the caller asked for (none otherwise), still ours until handed out.
CAPHostText NewText(ASText* out, const std::wstring& value) {
    if (!out) return CAPHostText();
    CCT2ASText text(value.c_str());
    return CAPHostText(text.Detach());
}

void StoreText(ASText* out, const std::wstring& value) {
    if (out) *out = NewText(out, value).Release();
}

void StoreFlag(ASBool* out, bool value) {
    if (out) *out = value ? 1 : 0;
}

// The answer of one of the table's own decisions, as the host would have it.
bool OwnDecision(int index) {
    HFT table = VxOwnTable();
    return table && table[index] && VxEntry<TesseraBoolProc>(table, index)() != 0;
}

// The text of a path the host hands in (empty for none).
std::wstring PathIn(ASPathName path) { return CAPHostPathText(path); }

// A new host path for the caller, or null for an empty text.
ASPathName PathOut(const std::wstring& path) { return path.empty() ? nullptr : CAPMakeHostPath(path).Release(); }

// The record goes through the table's own entry: it takes its turn as the host's own call would.
void ReportOpenFailure(ASPathName path) {
    wchar_t name[kCAPMaxPath] = L"";
    CAPFileSpecifier file(PathIn(path).c_str());
    file.GetFileName(name, kCAPMaxPath);
    std::wstring message = VxFormatString(IDS_OPEN_DOCUMENT_FAILED, name);
    CCT2ASText text(message.c_str());
    if (text.Get()) VxAlert(text);
    VxEntry<TesseraPathProc>(VxOwnTable(), kTesseraRemoveDocument)(path);
}

// Clears saveButtonActive however the host's Save As ends.
class SaveButtonScope {
public:
    explicit SaveButtonScope(TSPreferences& preferences) : preferences_(preferences) {
        preferences_.saveButtonActive = true;
    }
    ~SaveButtonScope() { preferences_.saveButtonActive = false; }
    SaveButtonScope(const SaveButtonScope&) = delete;
    SaveButtonScope& operator=(const SaveButtonScope&) = delete;

private:
    TSPreferences& preferences_;
};

// The entry's own name in its log block.
#define ENTRY(name) VX_SITE(kSite, #name)

}  // namespace


ASBool VXAPI Tessera_IsOpenEnabled_Internal(void) {
    return DmslinkEntry(ENTRY(Tessera_IsOpenEnabled_Internal), ASBool(0), [](CDmslinkModule& module) {
        const TSPreferences& p = module.Preferences();
        if (!p.enableOpen || p.defaultsSuppressed) return false;
        return DefaultRule(p.openDefaultLocation, p.openShortcutInvert);
    });
}

ASBool VXAPI Tessera_IsSaveEnabled_Internal(void) {
    return DmslinkEntry(ENTRY(Tessera_IsSaveEnabled_Internal), ASBool(0), [](CDmslinkModule& module) {
        const TSPreferences& p = module.Preferences();
        if (!p.enableSave) return false;
        if (p.defaultsSuppressed == p.explicitSaveOnly) return DefaultRule(p.saveDefaultLocation, p.saveShortcutInvert);
        // Only the plug-in's own Save item sends the host's Save As to the DMS then.
        return p.explicitSaveOnly && p.saveButtonActive;
    });
}

void VXAPI Tessera_NoOp_Internal(void) { VxBoundary(ENTRY(Tessera_NoOp_Internal), [] {}); }

ASPathName VXAPI Tessera_GetSaveAsPath_Internal(ASPathName path) {
    return DmslinkOperation(ENTRY(Tessera_GetSaveAsPath_Internal), ASPathName(nullptr), [&](CDmslinkModule& module) {
        CDocumentManager& documents = module.Documents();
        documents.ReleaseLastSaveAsPath();
        if (path) return PathOut(documents.AcquireTempPathNameForPath(PathIn(path)));
        AVDoc view = VxActiveDoc();
        PDDoc doc = view ? VxViewGetDoc(view) : nullptr;
        if (!doc) return ASPathName(nullptr);
        CAPHostPath source = CAPFilePath(VxDocGetFile(doc));
        std::wstring target = documents.AcquireTempPathNameForPath(PathIn(source.get()));
        // Held until it is handed out: a failure on the way releases it.
        CAPHostPath result(PathOut(target));
        documents.SetLastSaveAsPath(target);
        return result.Release();
    });
}

// Not queued: once the running operation (a check-out) has ended, the copies it registered are still
// unopened, and no more unused than they were.
void VXAPI Tessera_RemoveUnusedDocuments_Internal(void) {
    DmslinkOperation(ENTRY(Tessera_RemoveUnusedDocuments_Internal),
                     [](CDmslinkModule& module) { module.Lifecycle().RemoveUnusedDocuments(); });
}

void VXAPI Tessera_RemoveDocument_Internal(ASPathName path) {
    DmslinkQueued(ENTRY(Tessera_RemoveDocument_Internal), [&](CDmslinkModule&) -> CDmslinkModule::Work {
        return [copy = PathIn(path)](CDmslinkModule& module) { module.Lifecycle().RemoveDocument(copy); };
    });
}

ASBool VXAPI Tessera_OpenDialog_Internal(HWND parent, const wchar_t* filter, ASPathName** items, ASUns16* count,
                                         ASBool keepCheckedOut) {
    return DmslinkOperation(ENTRY(Tessera_OpenDialog_Internal), ASBool(0), [&](CDmslinkModule& module) {
        return items && count && module.Lifecycle().OpenDocuments(parent, filter, items, count, keepCheckedOut != 0);
    });
}

void VXAPI Tessera_RetainDocument_Internal(ASPathName path) {
    DmslinkQueued(ENTRY(Tessera_RetainDocument_Internal), [&](CDmslinkModule&) -> CDmslinkModule::Work {
        return [copy = PathIn(path)](CDmslinkModule& module) { module.Documents().RetainDocument(copy); };
    });
}

void VXAPI Tessera_SkipDocumentSave_Internal(ASPathName path) {
    DmslinkQueued(VX_SITE(kSite, "CDocumentManager::SkipDocumentSave"), [&](CDmslinkModule&) -> CDmslinkModule::Work {
        return [copy = PathIn(path)](CDmslinkModule& module) { module.Documents().SkipDocumentSave(copy); };
    });
}

ASBool VXAPI Tessera_IsDocumentTracked_Internal(ASPathName path) {
    return DmslinkEntry(VX_SITE(kSite, "CDocumentManager::FindASPathName"), ASBool(0), [&](CDmslinkModule& module) {
        return module.Documents().FindASPathName(PathIn(path)) != nullptr;
    });
}

void VXAPI Tessera_SetDefaultsSuppressed_Internal(ASBool value) {
    DmslinkEntry(ENTRY(Tessera_SetDefaultsSuppressed_Internal),
                 [&](CDmslinkModule& module) { module.Preferences().defaultsSuppressed = value == 1; });
}

ASPathName VXAPI Tessera_SaveAsDialog_Internal(ASPathName path) {
    return DmslinkOperation(ENTRY(Tessera_SaveAsDialog_Internal), ASPathName(nullptr), [&](CDmslinkModule& module) {
        module.Documents().ReleaseLastSaveAsPath();
        return PathOut(module.Lifecycle().SaveDocumentAs(PathIn(path), true));
    });
}

ASText VXAPI Tessera_GetDocumentTitle_Internal(ASPathName path) {
    return DmslinkEntry(VX_SITE(kSite, "CDocumentManager::GetDocumentTitle"), ASText(nullptr),
                        [&](CDmslinkModule& module) {
                            std::wstring title = module.Documents().GetDocumentTitle(PathIn(path));
                            return title.empty() ? ASText(nullptr) : VxTextFromWide(title.c_str());
                        });
}

void VXAPI Tessera_SetSkipClosePDDoc_Internal(PDDoc doc) {
    DmslinkQueued(ENTRY(Tessera_SetSkipClosePDDoc_Internal), [&](CDmslinkModule&) -> CDmslinkModule::Work {
        return [doc](CDmslinkModule& module) { module.Documents().SetSkipClosePDDoc(doc); };
    });
}

void VXAPI Tessera_DocumentWasSaved_Internal(PDDoc doc) {
    DmslinkQueued(ENTRY(Tessera_DocumentWasSaved_Internal), [&](CDmslinkModule& current) -> CDmslinkModule::Work {
        // A document that is not tracked goes to the DMS as a new one when Save goes there; its file
        // is taken now, while the host still has the document.
        std::wstring file;
        if (doc && !current.Documents().FindPDDoc(doc) && OwnDecision(kTesseraIsSaveEnabled))
            file = PathIn(CAPFilePath(VxDocGetFile(doc)).get());
        return [doc, file](CDmslinkModule& module) { module.Lifecycle().DocumentWasSaved(doc, file); };
    });
}

ASBool VXAPI Tessera_CheckinDocument_Internal(ASPathName path, ASBool keepCheckedOut) {
    return DmslinkOperation(ENTRY(Tessera_CheckinDocument_Internal), ASBool(0), [&](CDmslinkModule& module) {
        return module.Lifecycle().CheckinDocument(PathIn(path), keepCheckedOut != 0);
    });
}

ASBool VXAPI Tessera_SaveDocumentOnServer_Internal(ASPathName path, ASBool keepCheckedOut, ASBool releaseRecord) {
    return DmslinkOperation(ENTRY(Tessera_SaveDocumentOnServer_Internal), ASBool(0), [&](CDmslinkModule& module) {
        return module.Lifecycle().SaveDocumentOnServer(PathIn(path), keepCheckedOut != 0, releaseRecord != 0);
    });
}

ASBool VXAPI Tessera_IsOpenAvailable_Internal(void) {
    return DmslinkEntry(ENTRY(Tessera_IsOpenAvailable_Internal), ASBool(0),
                        [](CDmslinkModule& module) { return module.Preferences().enableOpen; });
}

void VXAPI Tessera_FileOpenBtnExecuteProc_Internal(void) {
    const char* const function = "Tessera_FileOpenBtnExecuteProc_Internal";
    // Its steps take their own turns: kTesseraOpenDialog, and kTesseraRemoveDocument for a copy the
    // host cannot open.
    DmslinkEntry(VX_SITE(kSite, function), [&](CDmslinkModule&) {
        HWND mainWindow = VxMainWindow();
        ASFileSys fileSys = VxDefaultFileSys();
        ASPathName* items = nullptr;
        ASUns16 count = 0;
        auto openDialog = VxEntry<TesseraOpenDialogProc>(VxOwnTable(), kTesseraOpenDialog);
        if (!openDialog(mainWindow, nullptr, &items, &count, 1)) return;
        // The list came from the host's allocator and is ours once kTesseraOpenDialog answered true;
        // it goes back to the host however this ends.
        CAPHostBlock list(items);
        for (ASUns16 i = 0; i < count; ++i) {
            ASPathName path = items[i];
            if (!path) continue;
            bool opened = false;
            VX_TRY {
                VxOpenDoc(path, fileSys);
                opened = true;
            }
            VX_CATCH(kSite, function)
            if (!opened) {
                VX_TRY { ReportOpenFailure(path); }
                VX_CATCH(kSite, function)
            }
            VX_TRY { VxReleasePath(fileSys, path); }
            VX_CATCH(kSite, function)
        }
    });
}

ASBool VXAPI Tessera_IsSaveAvailable_Internal(void) {
    return DmslinkEntry(ENTRY(Tessera_IsSaveAvailable_Internal), ASBool(0),
                        [](CDmslinkModule& module) { return module.Preferences().enableSave; });
}

// The host's Save As asks kTesseraIsSaveEnabled, then takes kTesseraSaveAsDialog's turn.
void VXAPI Tessera_FileSaveAsBtnExecuteProc_Internal(void) {
    DmslinkEntry(ENTRY(Tessera_FileSaveAsBtnExecuteProc_Internal), [](CDmslinkModule& module) {
        SaveButtonScope active(module.Preferences());
        SendMessageW(VxMainWindow(), WM_COMMAND, MAKEWPARAM(kVxCmdSaveAs, 0), 0);
    });
}

ASBool VXAPI Tessera_IsOpenDefault_Internal(void) {
    return DmslinkEntry(ENTRY(Tessera_IsOpenDefault_Internal), ASBool(0), [](CDmslinkModule& module) {
        const TSPreferences& p = module.Preferences();
        return p.enableOpen && p.openDefaultLocation && !p.openShortcutInvert;
    });
}

ASBool VXAPI Tessera_IsOpenAndSaveEnabled_Internal(void) {
    return DmslinkEntry(ENTRY(Tessera_IsOpenAndSaveEnabled_Internal), ASBool(0), [](CDmslinkModule& module) {
        return module.Preferences().enableOpen && module.Preferences().enableSave;
    });
}

ASBool VXAPI Tessera_IsSaveDefault_Internal(void) {
    return DmslinkEntry(ENTRY(Tessera_IsSaveDefault_Internal), ASBool(0), [](CDmslinkModule& module) {
        const TSPreferences& p = module.Preferences();
        return p.enableSave && p.saveDefaultLocation && !p.saveShortcutInvert;
    });
}

void VXAPI Tessera_FileRenamed_Internal(ASText text) {
    DmslinkQueued(ENTRY(Tessera_FileRenamed_Internal), [&](CDmslinkModule&) -> CDmslinkModule::Work {
        CASText2CT wide(text);
        // The host hands the old path as text already.
        if (!wide.Get()) return nullptr;
        return [old = std::wstring(wide.Get())](CDmslinkModule& module) {
            module.Lifecycle().DocumentWasClosedAtPath(old);
        };
    });
}

void VXAPI Tessera_SetExplicitSaveOnly_Internal(ASBool value) {
    DmslinkEntry(ENTRY(Tessera_SetExplicitSaveOnly_Internal),
                 [&](CDmslinkModule& module) { module.Preferences().explicitSaveOnly = value == 1; });
}

ASBool VXAPI Tessera_GetServerName_Internal(ASInt32 index, ASText* name) {
    return DmslinkEntry(ENTRY(Tessera_GetServerName_Internal), ASBool(0), [&](CDmslinkModule& module) {
        const TSServerEntry* entry = name ? module.Servers().GetServerAt(index) : nullptr;
        if (!entry) return false;
        StoreText(name, entry->server);
        return true;
    });
}

ASBool VXAPI Tessera_GetServerDetails_Internal(ASText name, ASText* user, ASText* password, ASBool* trusted,
                                               ASBool* autoConnect, ASBool* connected, ASBool* machineWide) {
    return DmslinkEntry(ENTRY(Tessera_GetServerDetails_Internal), ASBool(0), [&](CDmslinkModule& module) {
        const TSServerEntry* entry = module.Servers().FindServer(WideText(name));
        if (!entry) return false;
        // Both texts are made before either is handed out: a failure leaves the caller nothing to free.
        CAPHostText userText = NewText(user, entry->userName);
        CAPHostText passwordText = NewText(password, entry->password);
        if (user) *user = userText.Release();
        if (password) *password = passwordText.Release();
        StoreFlag(trusted, entry->trustedLogin);
        StoreFlag(autoConnect, entry->autoConnect);
        StoreFlag(connected, entry->connected);
        StoreFlag(machineWide, entry->machineWide);
        return true;
    });
}

ASBool VXAPI Tessera_EditServer_Internal(ASText name) {
    return DmslinkOperation(ENTRY(Tessera_EditServer_Internal), ASBool(0),
                            [&](CDmslinkModule& module) { return EditServer(module.Manager(), WideText(name)); });
}

ASBool VXAPI Tessera_DeleteServer_Internal(ASText name) {
    return DmslinkOperation(ENTRY(Tessera_DeleteServer_Internal), ASBool(0), [&](CDmslinkModule& module) {
        std::wstring server = WideText(name);
        const TSServerEntry* entry = module.Servers().FindServer(server);
        if (entry && entry->connected && !module.Manager().Logout(server)) return false;
        return module.Servers().RemoveServer(server);
    });
}

ASBool VXAPI Tessera_ToggleServerConnection_Internal(ASText name) {
    return DmslinkOperation(ENTRY(Tessera_ToggleServerConnection_Internal), ASBool(0), [&](CDmslinkModule& module) {
        TSServerEntry* entry = module.Servers().FindServer(WideText(name));
        if (!entry) return false;
        // The manager keeps the entry's connected state.
        TSManager& manager = module.Manager();
        return entry->connected ? manager.Logout(entry->server)
                                : manager.Login(entry->server, entry->trustedLogin, entry->userName, entry->password);
    });
}

ASBool VXAPI Tessera_AlwaysTrue_Internal(void) {
    return VxBoundary(ENTRY(Tessera_AlwaysTrue_Internal), ASBool(1), [] { return ASBool(1); });
}

// The list's entries go: an operation waiting for a login holds one.
void VXAPI Tessera_ReloadServerList_Internal(void) {
    DmslinkOperation(ENTRY(Tessera_ReloadServerList_Internal),
                     [](CDmslinkModule& module) { module.Servers().ReadServerListFromRegistry(); });
}

void VXAPI Tessera_SaveServerList_Internal(void) {
    DmslinkEntry(ENTRY(Tessera_SaveServerList_Internal),
                 [](CDmslinkModule& module) { module.Servers().WriteServerListToRegistry(); });
}

void FillTesseraTable(HFT table) {
    auto put = [table](int index, auto proc) { table[index] = reinterpret_cast<void*>(proc); };
    put(kTesseraIsOpenEnabled, Tessera_IsOpenEnabled_Internal);
    put(kTesseraIsSaveEnabled, Tessera_IsSaveEnabled_Internal);
    put(kTesseraNoOp, Tessera_NoOp_Internal);
    put(kTesseraGetSaveAsPath, Tessera_GetSaveAsPath_Internal);
    put(kTesseraRemoveUnusedDocuments, Tessera_RemoveUnusedDocuments_Internal);
    put(kTesseraRemoveDocument, Tessera_RemoveDocument_Internal);
    put(kTesseraOpenDialog, Tessera_OpenDialog_Internal);
    put(kTesseraRetainDocument, Tessera_RetainDocument_Internal);
    put(kTesseraSkipDocumentSave, Tessera_SkipDocumentSave_Internal);
    put(kTesseraIsDocumentTracked, Tessera_IsDocumentTracked_Internal);
    put(kTesseraSetDefaultsSuppressed, Tessera_SetDefaultsSuppressed_Internal);
    put(kTesseraSaveAsDialog, Tessera_SaveAsDialog_Internal);
    put(kTesseraGetDocumentTitle, Tessera_GetDocumentTitle_Internal);
    put(kTesseraSetSkipClosePDDoc, Tessera_SetSkipClosePDDoc_Internal);
    put(kTesseraDocumentWasSaved, Tessera_DocumentWasSaved_Internal);
    put(kTesseraCheckinDocument, Tessera_CheckinDocument_Internal);
    put(kTesseraSaveDocumentOnServer, Tessera_SaveDocumentOnServer_Internal);
    put(kTesseraIsOpenAvailable, Tessera_IsOpenAvailable_Internal);
    put(kTesseraFileOpenBtnExecuteProc, Tessera_FileOpenBtnExecuteProc_Internal);
    put(kTesseraIsSaveAvailable, Tessera_IsSaveAvailable_Internal);
    put(kTesseraFileSaveAsBtnExecuteProc, Tessera_FileSaveAsBtnExecuteProc_Internal);
    put(kTesseraIsOpenDefault, Tessera_IsOpenDefault_Internal);
    put(kTesseraIsOpenAndSaveEnabled, Tessera_IsOpenAndSaveEnabled_Internal);
    put(kTesseraIsSaveDefault, Tessera_IsSaveDefault_Internal);
    put(kTesseraFileRenamed, Tessera_FileRenamed_Internal);
    put(kTesseraSetExplicitSaveOnly, Tessera_SetExplicitSaveOnly_Internal);
    put(kTesseraGetServerName, Tessera_GetServerName_Internal);
    put(kTesseraGetServerDetails, Tessera_GetServerDetails_Internal);
    put(kTesseraEditServer, Tessera_EditServer_Internal);
    put(kTesseraDeleteServer, Tessera_DeleteServer_Internal);
    put(kTesseraToggleServerConnection, Tessera_ToggleServerConnection_Internal);
    put(kTesseraAlwaysTrue, Tessera_AlwaysTrue_Internal);
    put(kTesseraReloadServerList, Tessera_ReloadServerList_Internal);
    put(kTesseraSaveServerList, Tessera_SaveServerList_Internal);
}
