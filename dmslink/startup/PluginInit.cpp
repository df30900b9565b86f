// dmslink's handshake procedures: initialisation, unload, the start-up idle procedure and the
// ribbon command of the two "Tessera" items.
#include <new>
#include <string>

#include "Utilities/CCryptKey.h"
#include "Utilities/CAPSettings.h"
#include "Utilities/CAPLanguage.h"
#include "Utilities/CAPStringUtils.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxPlugin.h"
#include "Utilities/CAPHandles.h"
#include "Utilities/CAPRegistry.h"
#include "documents/CDocumentManager.h"
#include "startup/DocumentLifecycle.h"
#include "resources/resource.h"
#include "startup/ExtTesseraHFT.h"
#include "startup/PluginState.h"

namespace {

const char kSite[] = "PluginInit";
constexpr DWORD kPreferenceChars = 260;

// Low half equal, and the fresh atom small enough to travel in 32 bits at all.
bool IsAtomOf(ASUns32 clientData, const char* name) {
    ASAtom atom = VxAtom(name);
    return (atom >> 32) == 0 && static_cast<ASUns32>(atom) == clientData;
}

ASUns32 AtomLow(const char* name) { return static_cast<ASUns32>(VxAtom(name)); }

void AddRibbonItem(AVRibbon ribbon, ASInt32 image, const char* at, const char* command) {
    CAPHostIcon icon(VxLoadPNG(image));
    AVRibbonItem item;
    {
        CCT2ASText title(L"Tessera");
        item = VxAddRibbonItem(ribbon, VxAtom(at), icon.get(), title);
    }
    if (item) VxSetRibbonItemProc(item, TS_RibbonCommand, AtomLow(command));
}

bool OwnEntry(int index) {
    HFT own = VxOwnTable();
    return own && own[index] && VxEntry<TesseraBoolProc>(own, index)() != 0;
}

void StartUp() {
    gLanguageModule = LoadLanguageModule(L"dmslink", true);
    gTSManager = new (std::nothrow) TSManager(VxMainWindow());
    gDocumentManager = new (std::nothrow) CDocumentManager();
    if (!gTSManager || !gDocumentManager || !gTSManager->ProbeDmsClient()) return;

    TSManager& manager = *gTSManager;
    ReadPreferences(manager);
    if (!manager.enableOpen && !manager.enableSave) return;

    manager.LogInToAutoConnectServers();
    void* strip = VxTakeImageStrip(IDP_IMAGE_STRIP);
    AVRibbon ribbon = VxRibbon();

    if (manager.enableOpen) {
        VxRegisterNotification(kNotifyPDDocDidOpen, reinterpret_cast<void*>(TS_OpenHandler));
        VxRegisterNotification(kNotifyAVDocDidOpen, reinterpret_cast<void*>(TS_AVDocDidOpen));
    }
    if (manager.enableSave) VxRegisterNotification(kNotifyPDDocDidSave, reinterpret_cast<void*>(TS_PDDocDidSave));
    VxRegisterNotification(kNotifyPDDocDidClose, reinterpret_cast<void*>(TS_PDDocDidClose));
    VxRegisterIdle(TS_StartupIdleProc, nullptr, 1);
    VxRegisterNotification(kNotifyClearTempFiles, reinterpret_cast<void*>(TS_ClearTempFiles));
    VxRegisterNotification(kNotifyPDDocWillSave, reinterpret_cast<void*>(TS_SaveOrigin));
    VxReturnImageStrip(strip);

    if (OwnEntry(kTesseraIsSaveAvailable)) AddRibbonItem(ribbon, IDP_SAVE, "AVRibbon:Main:SaveAs:Btn", "SaveAs");
    if (OwnEntry(kTesseraIsOpenAvailable)) AddRibbonItem(ribbon, IDP_OPEN, "AVRibbon:Main:Open:Btn", "Open");
}

}  // namespace

bool ReadPreferenceFlag(HKEY key, const wchar_t* name, bool* flag) {
    std::wstring text;
    if (!CAPReadRegistryText(key, name, kPreferenceChars, &text)) return false;
    *flag = text == L"1";
    return true;
}

bool ReadPreferences(TSManager& manager) {
    std::wstring path = GetSettingsKeyPath(Settings) + L"\\Tessera";
    CAPRegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    ReadPreferenceFlag(key.get(), L"TesseraEnableOpen", &manager.enableOpen);
    ReadPreferenceFlag(key.get(), L"TesseraEnableSave", &manager.enableSave);
    ReadPreferenceFlag(key.get(), L"TesseraOpenShortcutInvert", &manager.openShortcutInvert);
    ReadPreferenceFlag(key.get(), L"TesseraSaveShortcutInvert", &manager.saveShortcutInvert);
    ReadPreferenceFlag(key.get(), L"TesseraOpenDefaultLocation", &manager.openDefaultLocation);
    ReadPreferenceFlag(key.get(), L"TesseraSaveDefaultLocation", &manager.saveDefaultLocation);
    manager.ReadServerListFromRegistry();
    return true;
}

ASBool VXAPI PluginInit(void) {
    VX_MANAGE_STATE();
    ASBool result = 0;
    VX_TRY {
        StartUp();
        result = 1;
    }
    VX_CATCH(kSite, "PluginInit")
    return result;
}

ASBool VXAPI PluginUnload(void) {
    VX_MANAGE_STATE();
    delete gTSManager;
    gTSManager = nullptr;
    delete gDocumentManager;
    gDocumentManager = nullptr;
    ReleaseSharedCryptProviders();
    VxDestroyHFTServer();
    if (gLanguageModule) {
        // The module's own resources again before the language module goes.
        if (VxResourceHandle() == gLanguageModule) VxSetResourceHandle(VxModuleState()->instance);
        FreeLibrary(gLanguageModule);
        gLanguageModule = nullptr;
    }
    gSaveOrigin = SaveOrigin{};
    return 1;
}

void VXAPI TS_StartupIdleProc(void*) {
    VX_MANAGE_STATE();
    VxUnregisterIdle(TS_StartupIdleProc, nullptr);
    if (auto lifecycle = CDocumentLifecycle::Module()) lifecycle->RecoverTempDocuments();
}

void VXAPI TS_RibbonCommand(ASUns32 clientData) {
    VX_MANAGE_STATE();
    if (AVRibbon ribbon = VxRibbon()) VxRibbonBeforeCommand(ribbon);
    HFT own = VxOwnTable();
    if (!own) return;
    if (IsAtomOf(clientData, "SaveAs"))
        VxEntry<TesseraVoidProc>(own, kTesseraFileSaveAsBtnExecuteProc)();
    else if (IsAtomOf(clientData, "Open"))
        VxEntry<TesseraVoidProc>(own, kTesseraFileOpenBtnExecuteProc)();
}

const VxModuleDef gVxModule = {
    "VARNELPRO:Tessera", "Tessera", kTesseraTableSize, FillTesseraTable, VxAlwaysTrue, PluginInit, PluginUnload,
    VxAlwaysTrue,
};
