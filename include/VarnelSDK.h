// VarnelSDK.h - the one header that fixes the boundary between the Varnel Pro host and its plug-ins.
//
// Call order (the host's side of the contract):
//   1. LoadLibraryW(full path), after SetDllDirectoryW(plug-in folder).
//   2. VarnelPlugInMain(&handshake)  - the plug-in fills the seven procedure slots of VxHandshake.
//   3. PISetupSDK(version, &sdkData) - version 0x20000 (core table in word 2) or 0x10000 (legacy array).
//   4. handshake.loadCheck()         - false: the host unloads the plug-in at once.
//   5. handshake.pluginName()
//   Then, over all admitted plug-ins in load order: publish (field 4) of every plug-in,
//   initialisation (field 2) of every plug-in, fifth callback (field 5) of every plug-in.
//   At exit: unload (field 3) of every plug-in, then FreeLibrary.
//
// Rules:
//   - Every procedure crossing the boundary is __cdecl; only plain C types and structs cross it.
//   - Host errors are C++ exceptions: `throw new CVxException{code}`, caught by pointer. Plug-ins never
//     inspect or free them; core entry 4 gives the code of the one being handled on this thread.
//     Host and plug-ins link libgcc shared so that a throw in one module can be caught in another.
//   - Host objects (paths, texts, icons, tables) belong to whoever made or copied them and are released
//     exactly once through the host's tables.
//   - The host calls notifications, idle procedures and ribbon procedures on its main thread.
//   - Threads: every entry of every host table is for the host's main thread. A plug-in's worker
//     thread calls none of them (no allocation, no path, no text, no atom, no log); it hands its
//     results to the main thread through a window message. The host stand-in reports any entry
//     called from another thread.
#pragma once

#include <stdint.h>
#include <windows.h>

#define VXAPI __cdecl

typedef uint8_t ASBool;
typedef int32_t ASInt32;
typedef uint32_t ASUns32;
typedef uint16_t ASUns16;
typedef uint64_t ASAtom;
// A word of the SDK data record: 32 bits on the i686 target, as the contract says; pointer-sized so that
// the same sources also build and test as x86_64.
typedef uintptr_t VxWord;

typedef void** HFT;
typedef void* HFTServer;
typedef void* ExtensionID;
typedef void* ASFileSys;
typedef void* ASPathName;
typedef void* ASText;
typedef void* ASFile;
typedef void* PDDoc;
typedef void* AVDoc;
typedef void* AVRibbon;
typedef void* AVRibbonItem;
typedef void* AVIcon;

// The host's error type. No virtual members, so that every module sees the same type identity.
struct CVxException {
    ASInt32 errorCode;
};

// ---------------------------------------------------------------------------------------------
// Export records

enum : ASUns32 {
    kVxHandshakeV1 = 0x10000,
    kVxHandshakeV2 = 0x20000,
};

typedef ASBool(VXAPI* VxBoolProc)(void);
typedef ASAtom(VXAPI* VxNameProc)(void);
typedef void(VXAPI* VxVoidProc)(void);

// Exactly seven pointer slots, nothing before or after them.
struct VxHandshake {
    VxBoolProc loadCheck;      // 1
    VxBoolProc init;           // 2
    VxBoolProc unload;         // 3
    VxBoolProc publishHFT;     // 4
    VxBoolProc fifth;          // 5
    VxNameProc pluginName;     // 6
    VxVoidProc seventh;        // 7
};

// Five words handed to PISetupSDK.
struct VxSDKData {
    VxWord word0;              // host's, stored by the plug-in
    VxWord word1;              // host's, stored by the plug-in
    VxWord coreOrLegacy;       // 0x20000: core HFT; 0x10000: pointer to the legacy HFT array
    VxWord coreVersion;        // 0x20000 only
    VxWord extensionID;        // the plug-in's ExtensionID
};

enum { kVxLegacySlots = 26 };

typedef ASBool(VXAPI* VarnelPlugInMainProc)(void* handshake);
typedef ASBool(VXAPI* PISetupSDKProc)(ASUns32 handshakeVersion, void* sdkData);

// HFT server callbacks.
typedef HFT(VXAPI* HFTServerProvideProc)(HFTServer server, ASUns32 version, void* clientData);
typedef void(VXAPI* HFTServerDestroyProc)(HFTServer server, void* clientData);

// ---------------------------------------------------------------------------------------------
// Core table

enum {
    kCoreGetExceptionErrorCode = 4,
    kCoreAtomFromString = 5,
    kCoreGetHFTByName = 10,
    kCoreRaise = 17,
    kCoreLog = 18,
    kCoreTableSize = 20,
};
typedef ASInt32(VXAPI* CoreGetExceptionErrorCodeProc)(void);
typedef ASAtom(VXAPI* CoreAtomFromStringProc)(const char* name);
typedef HFT(VXAPI* CoreGetHFTByNameProc)(ASAtom name, ASUns32* version);
typedef void(VXAPI* CoreRaiseProc)(ASInt32 code, const char* file, ASInt32 line, const char* function);
typedef void(VXAPI* CoreLogProc)(const char* text);

// ---------------------------------------------------------------------------------------------
// "AS"

enum {
    kASmalloc = 1,
    kASrealloc = 2,
    kASfree = 3,
    kASNewHFTServer = 6,
    kASDestroyHFTServer = 7,
    kASNewHFT = 8,
    kASDestroyHFT = 9,
    kASGetDefaultFileSys = 21,
    kASFileSysCopyPath = 24,
    kASFileSysReleasePath = 25,
    kASFileSysRemove = 27,
    kASFileGetPath = 37,
    kASFileGetFileSys = 38,
    kASFileSysCreatePath = 52,
    kASFileSysDisplayText = 99,
    kASTableSize = 100,
};
typedef void*(VXAPI* ASmallocProc)(ASUns32 size);
typedef void*(VXAPI* ASreallocProc)(void* block, ASUns32 size);
typedef void(VXAPI* ASfreeProc)(void* block);
typedef HFTServer(VXAPI* ASNewHFTServerProc)(const char* name, HFTServerProvideProc provider,
                                              HFTServerDestroyProc destroy, void* clientData);
typedef void(VXAPI* ASDestroyHFTServerProc)(HFTServer server);
typedef HFT(VXAPI* ASNewHFTProc)(HFTServer server, ASUns32 entryCount);
typedef void(VXAPI* ASDestroyHFTProc)(HFT table);
typedef ASFileSys(VXAPI* ASGetDefaultFileSysProc)(void);
typedef ASPathName(VXAPI* ASFileSysCopyPathProc)(ASFileSys fs, ASPathName path);
typedef void(VXAPI* ASFileSysReleasePathProc)(ASFileSys fs, ASPathName path);
typedef ASInt32(VXAPI* ASFileSysRemoveProc)(ASFileSys fs, ASPathName path);
typedef ASPathName(VXAPI* ASFileGetPathProc)(ASFile file);
typedef ASFileSys(VXAPI* ASFileGetFileSysProc)(ASFile file);
typedef ASPathName(VXAPI* ASFileSysCreatePathProc)(ASFileSys fs, ASAtom type, const void* pathText,
                                                    const void* zero);
typedef ASInt32(VXAPI* ASFileSysDisplayTextProc)(ASFileSys fs, ASPathName path, ASText out);

// ---------------------------------------------------------------------------------------------
// "ASExtra" (texts)

enum {
    kASTextNew = 3,
    kASTextFromUnicode = 4,
    kASTextDestroy = 12,
    kASTextGetUnicode = 21,
    kASTextSetUnicode = 36,
    kASExtraTableSize = 40,
};
typedef ASText(VXAPI* ASTextNewProc)(void);
typedef ASText(VXAPI* ASTextFromUnicodeProc)(const wchar_t* text, ASInt32 format);
typedef void(VXAPI* ASTextDestroyProc)(ASText text);
typedef const wchar_t*(VXAPI* ASTextGetUnicodeProc)(ASText text);
typedef void(VXAPI* ASTextSetUnicodeProc)(ASText text, const wchar_t* value);

// ---------------------------------------------------------------------------------------------
// "PDModel"

enum {
    kPDDocGetFile = 79,
    kPDModelTableSize = 80,
};
typedef ASFile(VXAPI* PDDocGetFileProc)(PDDoc doc);

// ---------------------------------------------------------------------------------------------
// "AppView"

enum {
    kAVAppGetName = 9,
    kAVAppGetActiveDoc = 12,
    kAVAppRegisterIdleProc = 39,
    kAVAppUnregisterIdleProc = 41,
    kAVAppRegisterNotification = 43,
    kAVDocGetPDDoc = 50,
    kAVSysGetModifiers = 166,
    kAVDocOpenFromFile = 497,
    kAVAppGetRibbon = 559,
    kAVAppGetMainWindow = 567,
    kAVAppQuery = 663,
    kAVAppTakeImageStrip = 665,
    kAVAppReturnImageStrip = 667,
    kAVRibbonRemovePanel = 733,
    kAVRibbonRemoveButton = 740,
    kAVAlert = 824,
    kAVRibbonAddItem = 885,
    kAVRibbonItemSetProc = 886,
    kAVRibbonBeforeCommand = 888,
    kAVIconLoadPNG = 889,
    kAVIconRelease = 890,
    kAppViewTableSize = 900,
};
typedef void(VXAPI* AVIdleProc)(void* clientData);
typedef void(VXAPI* AVRibbonProc)(ASUns32 clientData);

typedef ASAtom(VXAPI* AVAppGetNameProc)(void);
typedef AVDoc(VXAPI* AVAppGetActiveDocProc)(void);
typedef void(VXAPI* AVAppRegisterIdleProcProc)(AVIdleProc proc, void* clientData, ASUns32 period);
typedef void(VXAPI* AVAppUnregisterIdleProcProc)(AVIdleProc proc, void* clientData);
typedef void(VXAPI* AVAppRegisterNotificationProc)(ASInt32 notification, ExtensionID owner, void* proc,
                                                   void* clientData);
typedef PDDoc(VXAPI* AVDocGetPDDocProc)(AVDoc doc);
typedef ASUns32(VXAPI* AVSysGetModifiersProc)(void);
typedef AVDoc(VXAPI* AVDocOpenFromFileProc)(ASPathName path, ASFileSys fs, void* zero);
typedef AVRibbon(VXAPI* AVAppGetRibbonProc)(void);
typedef HWND(VXAPI* AVAppGetMainWindowProc)(void);
typedef ASInt32(VXAPI* AVAppQueryProc)(ASInt32 selector);
typedef void*(VXAPI* AVAppTakeImageStripProc)(ASInt32 resourceId, ASInt32 zero, ExtensionID ext);
typedef void(VXAPI* AVAppReturnImageStripProc)(void* strip);
typedef ASBool(VXAPI* AVRibbonRemovePanelProc)(AVRibbon ribbon, ASAtom category, ASAtom panel);
typedef ASBool(VXAPI* AVRibbonRemoveButtonProc)(AVRibbon ribbon, ASAtom category, ASAtom panel,
                                                ASAtom button);
typedef void(VXAPI* AVAlertProc)(ASText text);
typedef AVRibbonItem(VXAPI* AVRibbonAddItemProc)(AVRibbon ribbon, ASAtom at, AVIcon image, ASText title,
                                                 ASInt32 mode);
typedef void(VXAPI* AVRibbonItemSetProcProc)(AVRibbonItem item, AVRibbonProc proc, ASUns32 clientData);
typedef void(VXAPI* AVRibbonBeforeCommandProc)(AVRibbon ribbon);
typedef AVIcon(VXAPI* AVIconLoadPNGProc)(ASInt32 resourceId, ExtensionID ext);
typedef void(VXAPI* AVIconReleaseProc)(AVIcon icon);

// ---------------------------------------------------------------------------------------------
// Notifications (AppView 43; called on the main thread in order of registration)

enum {
    kNotifyPDDocDidOpen = 66,       // void (PDDoc, void* clientData)
    kNotifyAVDocDidOpen = 1005,     // void (AVDoc, void* clientData), after 66
    kNotifyPDDocWillSave = 38,      // void (PDDoc, const ASUns32* saveParams, void* clientData)
    kNotifyPDDocDidSave = 19,       // void (PDDoc, void* clientData)
    kNotifyPDDocDidClose = 55,      // void (PDDoc, void* clientData); the file is already released
    kNotifyClearTempFiles = 1002,   // void (void* clientData)
};
enum : ASUns32 { kSaveFlagCopy = 2 };  // word 1 of saveParams: a save of a copy

typedef void(VXAPI* NotifyPDDocProc)(PDDoc doc, void* clientData);
typedef void(VXAPI* NotifyAVDocProc)(AVDoc doc, void* clientData);
typedef void(VXAPI* NotifyWillSaveProc)(PDDoc doc, const ASUns32* saveParams, void* clientData);
typedef void(VXAPI* NotifyClientOnlyProc)(void* clientData);

// Main window command for Save As.
enum { kVxCmdSaveAs = 0xE104 };

// ---------------------------------------------------------------------------------------------
// The "Tessera" table published by dmslink (35 slots, 0 null)

enum { kTesseraTableSize = 35 };
// The entries, by number; the host and the plug-in use the same names.
enum TesseraEntry {
    kTesseraIsOpenEnabled = 1,
    kTesseraIsSaveEnabled = 2,
    kTesseraNoOp = 3,
    kTesseraGetSaveAsPath = 4,
    kTesseraRemoveUnusedDocuments = 5,
    kTesseraRemoveDocument = 6,
    kTesseraOpenDialog = 7,
    kTesseraRetainDocument = 8,
    kTesseraSkipDocumentSave = 9,
    kTesseraIsDocumentTracked = 10,
    kTesseraSetDefaultsSuppressed = 11,
    kTesseraSaveAsDialog = 12,
    kTesseraGetDocumentTitle = 13,
    kTesseraSetSkipClosePDDoc = 14,
    kTesseraDocumentWasSaved = 15,
    kTesseraCheckinDocument = 16,
    kTesseraSaveDocumentOnServer = 17,
    kTesseraIsOpenAvailable = 18,
    kTesseraFileOpenBtnExecuteProc = 19,
    kTesseraIsSaveAvailable = 20,
    kTesseraFileSaveAsBtnExecuteProc = 21,
    kTesseraIsOpenDefault = 22,
    kTesseraIsOpenAndSaveEnabled = 23,
    kTesseraIsSaveDefault = 24,
    kTesseraFileRenamed = 25,
    kTesseraSetExplicitSaveOnly = 26,
    kTesseraGetServerName = 27,
    kTesseraGetServerDetails = 28,
    kTesseraEditServer = 29,
    kTesseraDeleteServer = 30,
    kTesseraToggleServerConnection = 31,
    kTesseraAlwaysTrue = 32,
    kTesseraReloadServerList = 33,
    kTesseraSaveServerList = 34,
};
typedef ASBool(VXAPI* TesseraBoolProc)(void);
typedef void(VXAPI* TesseraVoidProc)(void);
typedef ASPathName(VXAPI* TesseraPathToPathProc)(ASPathName);
typedef void(VXAPI* TesseraPathProc)(ASPathName);
typedef ASBool(VXAPI* TesseraOpenDialogProc)(HWND parent, const wchar_t* filter, ASPathName** items,
                                             ASUns16* count, ASBool keepCheckedOut);
typedef ASBool(VXAPI* TesseraPathBoolProc)(ASPathName);
typedef void(VXAPI* TesseraSetFlagProc)(ASBool);
typedef ASText(VXAPI* TesseraGetTitleProc)(ASPathName);
typedef void(VXAPI* TesseraPDDocProc)(PDDoc);
typedef ASBool(VXAPI* TesseraCheckinProc)(ASPathName, ASBool keepCheckedOut);
typedef ASBool(VXAPI* TesseraSaveOnServerProc)(ASPathName, ASBool keepCheckedOut, ASBool releaseRecord);
typedef void(VXAPI* TesseraRenamedProc)(ASText);
typedef ASBool(VXAPI* TesseraGetServerNameProc)(ASInt32 index, ASText* name);
typedef ASBool(VXAPI* TesseraGetServerDetailsProc)(ASText name, ASText* user, ASText* password, ASBool* trusted,
                                                   ASBool* autoConnect, ASBool* connected, ASBool* machineWide);
typedef ASBool(VXAPI* TesseraServerNameProc)(ASText name);

// Handy cast for calling entry i of a table.
template <class Proc>
inline Proc VxEntry(HFT table, int index) {
    return reinterpret_cast<Proc>(table[index]);
}
