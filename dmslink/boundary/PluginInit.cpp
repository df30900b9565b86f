// dmslink's handshake procedures: initialisation, unload, the start-up idle procedure and the
// ribbon command of the two "Tessera" items and of "Kept on this computer".
#include <new>
#include <utility>
#include <vector>

#include "Files/CAPPathText.h"
#include "Utilities/CAPHandles.h"
#include "Utilities/CAPLanguage.h"
#include "Utilities/CAPStringUtils.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxPlugin.h"
#include "boundary/Boundary.h"
#include "boundary/ExtTesseraHFT.h"
#include "module/CKeptCopyActions.h"
#include "resources/resource.h"

namespace {

const char kSite[] = "PluginInit";

// Low half equal, and the fresh atom small enough to travel in 32 bits at all.
bool IsAtomOf(ASUns32 clientData, const char* name) {
    ASAtom atom = VxAtom(name);
    return (atom >> 32) == 0 && static_cast<ASUns32>(atom) == clientData;
}

ASUns32 AtomLow(const char* name) { return static_cast<ASUns32>(VxAtom(name)); }

void AddRibbonItem(AVRibbon ribbon, ASInt32 image, const char* at, const char* command,
                   const std::wstring& text = L"Tessera") {
    CAPHostIcon icon(VxLoadPNG(image));
    AVRibbonItem item;
    {
        CCT2ASText title(text.c_str());
        item = VxAddRibbonItem(ribbon, VxAtom(at), icon.get(), title);
    }
    if (item) VxSetRibbonItemProc(item, TS_RibbonCommand, AtomLow(command));
}

// "Kept on this computer" goes first, so that the "Tessera" item added at the same place afterwards
// comes between it and the host's own button.
void AddRibbonItems(AVRibbon ribbon, const char* at, ASInt32 image, const char* command, bool kept) {
    if (kept) AddRibbonItem(ribbon, IDP_KEPT, at, "Kept", VxLoadString(IDS_KEPT_TITLE));
    AddRibbonItem(ribbon, image, at, command);
}

// The window, as the one operation while it is open; the copies chosen in it are then opened as
// from the host's recent files, each recognised by the open notification as a kept copy.
void ShowKeptCopiesWindow() {
    std::vector<std::wstring> chosen;
    DmslinkOperation(VX_SITE(kSite, "TS_KeptCopies"), [&](CDmslinkModule& module) {
        chosen = ShowKeptCopies(module.Manager(), module.Documents());
    });
    for (const std::wstring& copy : chosen) {
        bool opened = false;
        VX_TRY {
            CAPHostPath path = CAPMakeHostPath(copy);
            if (path) VxOpenDoc(path.get(), VxDefaultFileSys());
            opened = static_cast<bool>(path);
        }
        VX_CATCH(kSite, "TS_KeptCopies")
        if (!opened) {
            VX_TRY {
                CCT2ASText text(VxFormatString(IDS_OPEN_DOCUMENT_FAILED, CAPNameOf(copy).c_str()).c_str());
                if (text.Get()) VxAlert(text);
            }
            VX_CATCH(kSite, "TS_KeptCopies")
        }
    }
}

bool OwnEntry(int index) {
    HFT own = VxOwnTable();
    return own && own[index] && VxEntry<TesseraBoolProc>(own, index)() != 0;
}

// The image strip goes back to the host however registration ends.
class ImageStripLoan {
public:
    explicit ImageStripLoan(void* strip) : strip_(strip) {}
    ~ImageStripLoan() {
        VX_TRY { VxReturnImageStrip(strip_); }
        VX_CATCH(kSite, "PluginInit")
    }
    ImageStripLoan(const ImageStripLoan&) = delete;
    ImageStripLoan& operator=(const ImageStripLoan&) = delete;

private:
    void* strip_;
};

void StartUp() {
    HMODULE language = LoadLanguageModule(L"dmslink", true);
    AdoptModule(std::unique_ptr<CDmslinkModule>(new (std::nothrow) CDmslinkModule(VxMainWindow(), language)));
    if (!TheModule()) {
        if (language) {
            VxSetResourceHandle(VxModuleState()->instance);
            FreeLibrary(language);
        }
        return;
    }
    CDmslinkModule& module = *TheModule();
    if (!module.Manager().ProbeDmsClient()) return;

    TSPreferences& preferences = module.Preferences();
    if (ReadPreferences(&preferences)) module.Servers().ReadServerListFromRegistry();
    module.Manager().SetPatience(preferences.patienceSeconds * 1000);
    if (!preferences.enableOpen && !preferences.enableSave) return;

    module.Manager().LogInToAutoConnectServers();
    AVRibbon ribbon;
    {
        ImageStripLoan strip(VxTakeImageStrip(IDP_IMAGE_STRIP));
        ribbon = VxRibbon();
        if (preferences.enableOpen) {
            VxRegisterNotification(kNotifyPDDocDidOpen, reinterpret_cast<void*>(TS_OpenHandler));
            VxRegisterNotification(kNotifyAVDocDidOpen, reinterpret_cast<void*>(TS_AVDocDidOpen));
        }
        if (preferences.enableSave)
            VxRegisterNotification(kNotifyPDDocDidSave, reinterpret_cast<void*>(TS_PDDocDidSave));
        VxRegisterNotification(kNotifyPDDocDidClose, reinterpret_cast<void*>(TS_PDDocDidClose));
        VxRegisterIdle(TS_StartupIdleProc, nullptr, 1);
        VxRegisterNotification(kNotifyClearTempFiles, reinterpret_cast<void*>(TS_ClearTempFiles));
        VxRegisterNotification(kNotifyPDDocWillSave, reinterpret_cast<void*>(TS_SaveOrigin));
    }

    // "Kept on this computer" beside the Open item, or beside the Save item where there is no Open item.
    const bool open = OwnEntry(kTesseraIsOpenAvailable);
    if (OwnEntry(kTesseraIsSaveAvailable)) AddRibbonItems(ribbon, "AVRibbon:Main:SaveAs:Btn", IDP_SAVE, "SaveAs", !open);
    if (open) AddRibbonItems(ribbon, "AVRibbon:Main:Open:Btn", IDP_OPEN, "Open", true);
}

}  // namespace

ASBool VXAPI PluginInit(void) {
    return VxBoundary(VX_SITE(kSite, "PluginInit"), ASBool(0), [] {
        StartUp();
        return ASBool(1);
    });
}

ASBool VXAPI PluginUnload(void) {
    VxBoundary(VX_SITE(kSite, "PluginUnload"), [] {
        // Gone from the boundary first: nothing the teardown lets the host call reaches it.
        std::unique_ptr<CDmslinkModule> module = ReleaseModule();
        module.reset();
        VxDestroyHFTServer();
    });
    return 1;
}

void VXAPI TS_StartupIdleProc(void*) {
    DmslinkOperation(VX_SITE(kSite, "TS_StartupIdleProc"), [](CDmslinkModule& module) {
        // The start never waits for a server: a server that has not answered within the patience is
        // reported once, and the recovery waits for the logins' answers, idle moment after idle moment.
        std::vector<std::wstring> silent;
        bool waiting = module.Manager().CollectLogins(&silent);
        for (const std::wstring& server : silent) {
            VX_TRY {
                CCT2ASText text(VxFormatString(IDS_SERVER_NOT_ANSWERING, server.c_str()).c_str());
                if (text.Get()) VxAlert(text);
            }
            VX_CATCH(kSite, "TS_StartupIdleProc")
        }
        if (waiting) return;
        VxUnregisterIdle(TS_StartupIdleProc, nullptr);
        module.Lifecycle().RecoverTempDocuments();
        TellKeptCopiesAtStart(module.Documents());
    });
}

void VXAPI TS_RibbonCommand(ASUns32 clientData) {
    VxBoundary(VX_SITE(kSite, "TS_RibbonCommand"), [&] {
        if (AVRibbon ribbon = VxRibbon()) VxRibbonBeforeCommand(ribbon);
        HFT own = VxOwnTable();
        if (!own) return;
        if (IsAtomOf(clientData, "SaveAs"))
            VxEntry<TesseraVoidProc>(own, kTesseraFileSaveAsBtnExecuteProc)();
        else if (IsAtomOf(clientData, "Open"))
            VxEntry<TesseraVoidProc>(own, kTesseraFileOpenBtnExecuteProc)();
        else if (IsAtomOf(clientData, "Kept"))
            ShowKeptCopiesWindow();
    });
}

const VxModuleDef gVxModule = {
    "VARNELPRO:Tessera", "Tessera", kTesseraTableSize, FillTesseraTable, VxAlwaysTrue, PluginInit, PluginUnload,
    VxAlwaysTrue,
};
