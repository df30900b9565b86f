// VxHFT.h - the module-wide host table slots and typed calls of the host entries the modules use.
// The slots are written once, by PISetupSDK, before any other callback, and only read afterwards.
#pragma once

#include "VarnelSDK.h"

// Slot indices: the core table, then the fourteen named tables in the order they are imported.
enum VxHFTIndex {
    kHftCore = 0,
    kHftAS,
    kHftCOS,
    kHftPDModel,
    kHftPDFEditRead,
    kHftPDFEditWrite,
    kHftPDSysFont,
    kHftPageContent,
    kHftASExtra,
    kHftAVExtra,
    kHftAppView,
    kHftWIN,
    kHftFDF,
    kHftPDSRead,
    kHftPDSWrite,
    kHftCount
};

struct VxHFTSlot {
    HFT table;
    ASUns32 version;
};

extern VxHFTSlot gVxHFT[kHftCount];
extern ASUns32 gVxHandshakeVersion;  // 1 or 2 once PISetupSDK accepted a handshake, else 0
extern VxWord gVxSDKWord0, gVxSDKWord1;
extern ExtensionID gVxExtensionID;

// Name of the table in slot i ("AS", "COS", ...); slot 0 is the core table.
const char* VxHFTName(int slot);

template <class Proc>
inline Proc VxCall(int slot, int entry) {
    return reinterpret_cast<Proc>(gVxHFT[slot].table[entry]);
}

// ---- core
inline ASInt32 VxGetExceptionErrorCode() { return VxCall<CoreGetExceptionErrorCodeProc>(kHftCore, kCoreGetExceptionErrorCode)(); }
inline ASAtom VxAtom(const char* name) { return VxCall<CoreAtomFromStringProc>(kHftCore, kCoreAtomFromString)(name); }
inline HFT VxGetHFTByName(ASAtom name, ASUns32* version) { return VxCall<CoreGetHFTByNameProc>(kHftCore, kCoreGetHFTByName)(name, version); }
[[noreturn]] inline void VxRaise(ASInt32 code, const char* file, ASInt32 line, const char* function) {
    VxCall<CoreRaiseProc>(kHftCore, kCoreRaise)(code, file, line, function);
    throw new CVxException{code};  // a host that returned from a raise still must not go on here
}
inline void VxLog(const char* text) { VxCall<CoreLogProc>(kHftCore, kCoreLog)(text); }

// ---- "AS"
inline void* VxMalloc(ASUns32 size) { return VxCall<ASmallocProc>(kHftAS, kASmalloc)(size); }
inline void* VxRealloc(void* block, ASUns32 size) { return VxCall<ASreallocProc>(kHftAS, kASrealloc)(block, size); }
inline void VxFree(void* block) { VxCall<ASfreeProc>(kHftAS, kASfree)(block); }
inline HFTServer VxNewHFTServer(const char* name, HFTServerProvideProc provider, HFTServerDestroyProc destroy, void* clientData) {
    return VxCall<ASNewHFTServerProc>(kHftAS, kASNewHFTServer)(name, provider, destroy, clientData);
}
inline void VxDestroyHFTServerRaw(HFTServer server) { VxCall<ASDestroyHFTServerProc>(kHftAS, kASDestroyHFTServer)(server); }
inline HFT VxNewHFT(HFTServer server, ASUns32 entries) { return VxCall<ASNewHFTProc>(kHftAS, kASNewHFT)(server, entries); }
inline void VxDestroyHFT(HFT table) { VxCall<ASDestroyHFTProc>(kHftAS, kASDestroyHFT)(table); }
// The host's default file system, asked once per handshake: releasing a path never depends on
// asking the host again.
ASFileSys VxDefaultFileSys();
inline ASPathName VxCopyPath(ASFileSys fs, ASPathName path) { return VxCall<ASFileSysCopyPathProc>(kHftAS, kASFileSysCopyPath)(fs, path); }
inline void VxReleasePath(ASFileSys fs, ASPathName path) { VxCall<ASFileSysReleasePathProc>(kHftAS, kASFileSysReleasePath)(fs, path); }
inline ASInt32 VxRemoveFile(ASFileSys fs, ASPathName path) { return VxCall<ASFileSysRemoveProc>(kHftAS, kASFileSysRemove)(fs, path); }
inline ASPathName VxFileGetPath(ASFile file) { return VxCall<ASFileGetPathProc>(kHftAS, kASFileGetPath)(file); }
inline ASFileSys VxFileGetFileSys(ASFile file) { return VxCall<ASFileGetFileSysProc>(kHftAS, kASFileGetFileSys)(file); }
inline ASPathName VxCreatePath(ASFileSys fs, ASAtom type, const void* text, const void* zero) {
    return VxCall<ASFileSysCreatePathProc>(kHftAS, kASFileSysCreatePath)(fs, type, text, zero);
}
// A host path from a wide text through the "Wstring" path type; null on failure.
inline ASPathName VxPathFromWide(const wchar_t* text) { return VxCreatePath(nullptr, VxAtom("Wstring"), text, nullptr); }
inline ASInt32 VxDisplayText(ASFileSys fs, ASPathName path, ASText out) {
    return VxCall<ASFileSysDisplayTextProc>(kHftAS, kASFileSysDisplayText)(fs, path, out);
}

// ---- "ASExtra"
inline ASText VxTextNew() { return VxCall<ASTextNewProc>(kHftASExtra, kASTextNew)(); }
inline ASText VxTextFromWide(const wchar_t* text) { return VxCall<ASTextFromUnicodeProc>(kHftASExtra, kASTextFromUnicode)(text, 1); }
inline void VxTextDestroy(ASText text) { VxCall<ASTextDestroyProc>(kHftASExtra, kASTextDestroy)(text); }
inline const wchar_t* VxTextGetWide(ASText text) { return VxCall<ASTextGetUnicodeProc>(kHftASExtra, kASTextGetUnicode)(text); }
inline void VxTextSetWide(ASText text, const wchar_t* value) { VxCall<ASTextSetUnicodeProc>(kHftASExtra, kASTextSetUnicode)(text, value); }

// ---- "PDModel"
inline ASFile VxDocGetFile(PDDoc doc) { return VxCall<PDDocGetFileProc>(kHftPDModel, kPDDocGetFile)(doc); }

// ---- "AppView"
inline ASAtom VxAppGetName() { return VxCall<AVAppGetNameProc>(kHftAppView, kAVAppGetName)(); }
inline AVDoc VxActiveDoc() { return VxCall<AVAppGetActiveDocProc>(kHftAppView, kAVAppGetActiveDoc)(); }
inline void VxRegisterIdle(AVIdleProc proc, void* data, ASUns32 period) { VxCall<AVAppRegisterIdleProcProc>(kHftAppView, kAVAppRegisterIdleProc)(proc, data, period); }
inline void VxUnregisterIdle(AVIdleProc proc, void* data) { VxCall<AVAppUnregisterIdleProcProc>(kHftAppView, kAVAppUnregisterIdleProc)(proc, data); }
inline void VxRegisterNotification(ASInt32 number, void* proc) {
    VxCall<AVAppRegisterNotificationProc>(kHftAppView, kAVAppRegisterNotification)(number, gVxExtensionID, proc, nullptr);
}
inline PDDoc VxViewGetDoc(AVDoc view) { return VxCall<AVDocGetPDDocProc>(kHftAppView, kAVDocGetPDDoc)(view); }
inline ASUns32 VxModifiers() { return VxCall<AVSysGetModifiersProc>(kHftAppView, kAVSysGetModifiers)(); }
inline AVDoc VxOpenDoc(ASPathName path, ASFileSys fs) { return VxCall<AVDocOpenFromFileProc>(kHftAppView, kAVDocOpenFromFile)(path, fs, nullptr); }
inline AVRibbon VxRibbon() { return VxCall<AVAppGetRibbonProc>(kHftAppView, kAVAppGetRibbon)(); }
inline HWND VxMainWindow() { return VxCall<AVAppGetMainWindowProc>(kHftAppView, kAVAppGetMainWindow)(); }
inline ASInt32 VxAppQuery(ASInt32 selector) { return VxCall<AVAppQueryProc>(kHftAppView, kAVAppQuery)(selector); }
inline void* VxTakeImageStrip(ASInt32 id) { return VxCall<AVAppTakeImageStripProc>(kHftAppView, kAVAppTakeImageStrip)(id, 0, gVxExtensionID); }
inline void VxReturnImageStrip(void* strip) { VxCall<AVAppReturnImageStripProc>(kHftAppView, kAVAppReturnImageStrip)(strip); }
inline ASBool VxRemovePanel(AVRibbon r, ASAtom category, ASAtom panel) { return VxCall<AVRibbonRemovePanelProc>(kHftAppView, kAVRibbonRemovePanel)(r, category, panel); }
inline ASBool VxRemoveButton(AVRibbon r, ASAtom category, ASAtom panel, ASAtom button) {
    return VxCall<AVRibbonRemoveButtonProc>(kHftAppView, kAVRibbonRemoveButton)(r, category, panel, button);
}
inline void VxAlert(ASText text) { VxCall<AVAlertProc>(kHftAppView, kAVAlert)(text); }
inline AVRibbonItem VxAddRibbonItem(AVRibbon r, ASAtom at, AVIcon image, ASText title) {
    return VxCall<AVRibbonAddItemProc>(kHftAppView, kAVRibbonAddItem)(r, at, image, title, 2);
}
inline void VxSetRibbonItemProc(AVRibbonItem item, AVRibbonProc proc, ASUns32 data) {
    VxCall<AVRibbonItemSetProcProc>(kHftAppView, kAVRibbonItemSetProc)(item, proc, data);
}
inline void VxRibbonBeforeCommand(AVRibbon r) { VxCall<AVRibbonBeforeCommandProc>(kHftAppView, kAVRibbonBeforeCommand)(r); }
inline AVIcon VxLoadPNG(ASInt32 id) { return VxCall<AVIconLoadPNGProc>(kHftAppView, kAVIconLoadPNG)(id, gVxExtensionID); }
inline void VxReleaseIcon(AVIcon icon) { VxCall<AVIconReleaseProc>(kHftAppView, kAVIconRelease)(icon); }
