// The "Tessera" table: the Open and Save decisions and the entries the host's file paths and
// preference pages call.
#include "startup/ExtTesseraHFT.h"

#include <string>

#include "Files/CAPFileSpecifier.h"
#include "Files/CAPPathText.h"
#include "Utilities/CAPStringUtils.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxPlugin.h"
#include "dms/CServerPropertiesDlg.h"
#include "documents/CDocumentManager.h"
#include "startup/DocumentLifecycle.h"
#include "resources/resource.h"
#include "startup/PluginState.h"

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

// A new host text for the caller, or nothing when no output was asked for.
void StoreText(ASText* out, const std::wstring& value) {
    if (!out) return;
    CCT2ASText text(value.c_str());
    *out = text.Detach();
}

void StoreFlag(ASBool* out, bool value) {
    if (out) *out = value ? 1 : 0;
}

// The text of a path the host hands in (empty for none).
std::wstring PathIn(ASPathName path) { return CAPHostPathText(path); }

// A new host path for the caller, or null for an empty text.
ASPathName PathOut(const std::wstring& path) { return path.empty() ? nullptr : CAPMakeHostPath(path).Release(); }

void ReportOpenFailure(CDocumentLifecycle& lifecycle, const std::wstring& path) {
    wchar_t name[kCAPMaxPath] = L"";
    CAPFileSpecifier file(path.c_str());
    file.GetFileName(name, kCAPMaxPath);
    std::wstring message = VxFormatString(IDS_OPEN_DOCUMENT_FAILED, name);
    CCT2ASText text(message.c_str());
    if (text.Get()) VxAlert(text);
    lifecycle.RemoveDocument(path);
}

// Clears saveButtonActive however the host's Save As ends.
class SaveButtonScope {
public:
    explicit SaveButtonScope(TSManager& manager) : manager_(manager) { manager_.saveButtonActive = true; }
    ~SaveButtonScope() { manager_.saveButtonActive = false; }
    SaveButtonScope(const SaveButtonScope&) = delete;
    SaveButtonScope& operator=(const SaveButtonScope&) = delete;

private:
    TSManager& manager_;
};

}  // namespace

ASBool VXAPI Tessera_IsOpenEnabled_Internal(void) {
    VX_MANAGE_STATE();
    VX_TRY {
        if (!gTSManager) return 0;
        const TSManager& m = *gTSManager;
        if (!m.enableOpen || m.defaultsSuppressed) return 0;
        return DefaultRule(m.openDefaultLocation, m.openShortcutInvert) ? 1 : 0;
    }
    VX_CATCH(kSite, "Tessera_IsOpenEnabled_Internal")
    return 0;
}

ASBool VXAPI Tessera_IsSaveEnabled_Internal(void) {
    VX_MANAGE_STATE();
    VX_TRY {
        if (!gTSManager) return 0;
        const TSManager& m = *gTSManager;
        if (!m.enableSave) return 0;
        if (m.defaultsSuppressed == m.explicitSaveOnly)
            return DefaultRule(m.saveDefaultLocation, m.saveShortcutInvert) ? 1 : 0;
        // Only the plug-in's own Save item sends the host's Save As to the DMS then.
        if (m.explicitSaveOnly) return m.saveButtonActive ? 1 : 0;
        return 0;
    }
    VX_CATCH(kSite, "Tessera_IsSaveEnabled_Internal")
    return 0;
}

void VXAPI Tessera_NoOp_Internal(void) { VX_MANAGE_STATE(); }

ASPathName VXAPI Tessera_GetSaveAsPath_Internal(ASPathName path) {
    VX_MANAGE_STATE();
    ASPathName result = nullptr;
    VX_TRY {
        if (!gDocumentManager) return nullptr;
        CDocumentManager& documents = *gDocumentManager;
        documents.ReleaseLastSaveAsPath();
        if (path) return PathOut(documents.AcquireTempPathNameForPath(PathIn(path)));
        AVDoc view = VxActiveDoc();
        PDDoc doc = view ? VxViewGetDoc(view) : nullptr;
        if (!doc) return nullptr;
        CAPHostPath source(VxFileGetPath(VxDocGetFile(doc)));
        std::wstring target = documents.AcquireTempPathNameForPath(PathIn(source.get()));
        documents.SetLastSaveAsPath(target);
        result = PathOut(target);
        return result;
    }
    VX_CATCH(kSite, "Tessera_GetSaveAsPath_Internal")
    if (result) {
        VX_TRY { VxReleasePath(VxDefaultFileSys(), result); }
        VX_CATCH(kSite, "Tessera_GetSaveAsPath_Internal")
    }
    return nullptr;
}

void VXAPI Tessera_RemoveUnusedDocuments_Internal(void) {
    VX_MANAGE_STATE();
    if (auto lifecycle = CDocumentLifecycle::Module()) lifecycle->RemoveUnusedDocuments();
}

void VXAPI Tessera_RemoveDocument_Internal(ASPathName path) {
    VX_MANAGE_STATE();
    VX_TRY {
        if (auto lifecycle = CDocumentLifecycle::Module()) lifecycle->RemoveDocument(PathIn(path));
    }
    VX_CATCH(kSite, "Tessera_RemoveDocument_Internal")
}

ASBool VXAPI Tessera_OpenDialog_Internal(HWND parent, const wchar_t* filter, ASPathName** items, ASUns16* count,
                                         ASBool keepCheckedOut) {
    VX_MANAGE_STATE();
    auto lifecycle = CDocumentLifecycle::Module();
    if (!lifecycle || !items || !count) return 0;
    return lifecycle->OpenDocuments(parent, filter, items, count, keepCheckedOut != 0) ? 1 : 0;
}

void VXAPI Tessera_RetainDocument_Internal(ASPathName path) {
    VX_MANAGE_STATE();
    VX_TRY {
        if (gDocumentManager) gDocumentManager->RetainDocument(PathIn(path));
    }
    VX_CATCH(kSite, "Tessera_RetainDocument_Internal")
}

void VXAPI Tessera_SkipDocumentSave_Internal(ASPathName path) {
    VX_MANAGE_STATE();
    VX_TRY {
        if (gDocumentManager) gDocumentManager->SkipDocumentSave(PathIn(path));
    }
    VX_CATCH(kSite, "CDocumentManager::SkipDocumentSave")
}

ASBool VXAPI Tessera_IsDocumentTracked_Internal(ASPathName path) {
    VX_MANAGE_STATE();
    VX_TRY { return gDocumentManager && gDocumentManager->FindASPathName(PathIn(path)) ? 1 : 0; }
    VX_CATCH(kSite, "CDocumentManager::FindASPathName")
    return 0;
}

void VXAPI Tessera_SetDefaultsSuppressed_Internal(ASBool value) {
    VX_MANAGE_STATE();
    if (gTSManager) gTSManager->defaultsSuppressed = value == 1;
}

ASPathName VXAPI Tessera_SaveAsDialog_Internal(ASPathName path) {
    VX_MANAGE_STATE();
    VX_TRY {
        auto lifecycle = CDocumentLifecycle::Module();
        if (!lifecycle) return nullptr;
        gDocumentManager->ReleaseLastSaveAsPath();
        return PathOut(lifecycle->SaveDocumentAs(PathIn(path), true));
    }
    VX_CATCH(kSite, "Tessera_SaveAsDialog_Internal")
    return nullptr;
}

ASText VXAPI Tessera_GetDocumentTitle_Internal(ASPathName path) {
    VX_MANAGE_STATE();
    VX_TRY {
        if (!gDocumentManager) return nullptr;
        std::wstring title = gDocumentManager->GetDocumentTitle(PathIn(path));
        return title.empty() ? nullptr : VxTextFromWide(title.c_str());
    }
    VX_CATCH(kSite, "CDocumentManager::GetDocumentTitle")
    return nullptr;
}

void VXAPI Tessera_SetSkipClosePDDoc_Internal(PDDoc doc) {
    VX_MANAGE_STATE();
    if (gDocumentManager) gDocumentManager->SetSkipClosePDDoc(doc);
}

void VXAPI Tessera_DocumentWasSaved_Internal(PDDoc doc) {
    VX_MANAGE_STATE();
    if (auto lifecycle = CDocumentLifecycle::Module()) lifecycle->DocumentWasSaved(doc);
}

ASBool VXAPI Tessera_CheckinDocument_Internal(ASPathName path, ASBool keepCheckedOut) {
    VX_MANAGE_STATE();
    VX_TRY {
        auto lifecycle = CDocumentLifecycle::Module();
        if (!lifecycle) return 0;
        return lifecycle->CheckinDocument(PathIn(path), keepCheckedOut != 0) ? 1 : 0;
    }
    VX_CATCH(kSite, "Tessera_CheckinDocument_Internal")
    return 0;
}

ASBool VXAPI Tessera_SaveDocumentOnServer_Internal(ASPathName path, ASBool keepCheckedOut, ASBool releaseRecord) {
    VX_MANAGE_STATE();
    VX_TRY {
        auto lifecycle = CDocumentLifecycle::Module();
        if (!lifecycle) return 0;
        return lifecycle->SaveDocumentOnServer(PathIn(path), keepCheckedOut != 0, releaseRecord != 0) ? 1 : 0;
    }
    VX_CATCH(kSite, "Tessera_SaveDocumentOnServer_Internal")
    return 0;
}

ASBool VXAPI Tessera_IsOpenAvailable_Internal(void) {
    VX_MANAGE_STATE();
    return gTSManager && gTSManager->enableOpen ? 1 : 0;
}

void VXAPI Tessera_FileOpenBtnExecuteProc_Internal(void) {
    VX_MANAGE_STATE();
    const char* const function = "Tessera_FileOpenBtnExecuteProc_Internal";
    VX_TRY {
        auto lifecycle = CDocumentLifecycle::Module();
        if (!lifecycle) return;
        HWND mainWindow = VxMainWindow();
        ASFileSys fileSys = VxDefaultFileSys();
        ASPathName* items = nullptr;
        ASUns16 count = 0;
        auto openDialog = VxEntry<TesseraOpenDialogProc>(VxOwnTable(), kTesseraOpenDialog);
        if (!openDialog(mainWindow, nullptr, &items, &count, 1)) return;
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
                VX_TRY { ReportOpenFailure(*lifecycle, PathIn(path)); }
                VX_CATCH(kSite, function)
            }
            VX_TRY { VxReleasePath(fileSys, path); }
            VX_CATCH(kSite, function)
        }
        // The list came from the host's allocator and is ours once entry 7 answered true.
        if (items) VxFree(items);
    }
    VX_CATCH(kSite, function)
}

ASBool VXAPI Tessera_IsSaveAvailable_Internal(void) {
    VX_MANAGE_STATE();
    return gTSManager && gTSManager->enableSave ? 1 : 0;
}

void VXAPI Tessera_FileSaveAsBtnExecuteProc_Internal(void) {
    VX_MANAGE_STATE();
    if (!gTSManager) return;
    SaveButtonScope active(*gTSManager);
    SendMessageW(VxMainWindow(), WM_COMMAND, MAKEWPARAM(kVxCmdSaveAs, 0), 0);
}

ASBool VXAPI Tessera_IsOpenDefault_Internal(void) {
    VX_MANAGE_STATE();
    if (!gTSManager) return 0;
    const TSManager& m = *gTSManager;
    return m.enableOpen && m.openDefaultLocation && !m.openShortcutInvert ? 1 : 0;
}

ASBool VXAPI Tessera_IsOpenAndSaveEnabled_Internal(void) {
    VX_MANAGE_STATE();
    return gTSManager && gTSManager->enableOpen && gTSManager->enableSave ? 1 : 0;
}

ASBool VXAPI Tessera_IsSaveDefault_Internal(void) {
    VX_MANAGE_STATE();
    if (!gTSManager) return 0;
    const TSManager& m = *gTSManager;
    return m.enableSave && m.saveDefaultLocation && !m.saveShortcutInvert ? 1 : 0;
}

void VXAPI Tessera_FileRenamed_Internal(ASText text) {
    VX_MANAGE_STATE();
    VX_TRY {
        auto lifecycle = CDocumentLifecycle::Module();
        if (!lifecycle) return;
        CASText2CT wide(text);
        if (!wide.Get()) return;
        // The host hands the old path as text already.
        lifecycle->DocumentWasClosedAtPath(wide.Get());
    }
    VX_CATCH(kSite, "Tessera_FileRenamed_Internal")
}

void VXAPI Tessera_SetExplicitSaveOnly_Internal(ASBool value) {
    VX_MANAGE_STATE();
    if (gTSManager) gTSManager->explicitSaveOnly = value == 1;
}

ASBool VXAPI Tessera_GetServerName_Internal(ASInt32 index, ASText* name) {
    VX_MANAGE_STATE();
    if (!gTSManager || !name) return 0;
    const TSServerEntry* entry = gTSManager->GetServerAt(index);
    if (!entry) return 0;
    StoreText(name, entry->server);
    return 1;
}

ASBool VXAPI Tessera_GetServerDetails_Internal(ASText name, ASText* user, ASText* password, ASBool* trusted,
                                               ASBool* autoConnect, ASBool* connected, ASBool* machineWide) {
    VX_MANAGE_STATE();
    if (!gTSManager) return 0;
    const TSServerEntry* entry = gTSManager->FindServer(WideText(name));
    if (!entry) return 0;
    StoreText(user, entry->userName);
    StoreText(password, entry->password);
    StoreFlag(trusted, entry->trustedLogin);
    StoreFlag(autoConnect, entry->autoConnect);
    StoreFlag(connected, entry->connected);
    StoreFlag(machineWide, entry->machineWide);
    return 1;
}

ASBool VXAPI Tessera_EditServer_Internal(ASText name) {
    VX_MANAGE_STATE();
    if (!gTSManager) return 0;
    return EditServer(*gTSManager, WideText(name)) ? 1 : 0;
}

ASBool VXAPI Tessera_DeleteServer_Internal(ASText name) {
    VX_MANAGE_STATE();
    if (!gTSManager) return 0;
    std::wstring server = WideText(name);
    const TSServerEntry* entry = gTSManager->FindServer(server);
    if (entry && entry->connected && !gTSManager->Logout(server)) return 0;
    return gTSManager->RemoveServer(server) ? 1 : 0;
}

ASBool VXAPI Tessera_ToggleServerConnection_Internal(ASText name) {
    VX_MANAGE_STATE();
    if (!gTSManager) return 0;
    TSServerEntry* entry = gTSManager->FindServer(WideText(name));
    if (!entry) return 0;
    // The manager keeps the entry's connected state.
    bool result = entry->connected
                      ? gTSManager->Logout(entry->server)
                      : gTSManager->Login(entry->server, entry->trustedLogin, entry->userName, entry->password);
    return result ? 1 : 0;
}

ASBool VXAPI Tessera_AlwaysTrue_Internal(void) {
    VX_MANAGE_STATE();
    return 1;
}

void VXAPI Tessera_ReloadServerList_Internal(void) {
    VX_MANAGE_STATE();
    if (gTSManager) gTSManager->ReadServerListFromRegistry();
}

void VXAPI Tessera_SaveServerList_Internal(void) {
    VX_MANAGE_STATE();
    if (gTSManager) gTSManager->WriteServerListToRegistry();
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
