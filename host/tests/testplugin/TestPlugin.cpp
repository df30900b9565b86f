// A minimal plug-in written against VarnelSDK.h alone. It fetches the host's tables like the real
// framework, writes one log line per callback, and uses the host the way the deliverables do:
// a published table, notifications, a one-shot idle procedure, a ribbon item with an icon.
// Environment switches: VX_TESTPLUGIN_MAIN_FAILS (VarnelPlugInMain answers false),
// VX_TESTPLUGIN_LEAK (initialisation keeps a path it never releases).
#include <cstdio>
#include <cstring>

#include "VarnelSDK.h"

namespace {

const char* const kTableNames[] = {"AS",      "COS",     "PDModel", "PDFEditRead", "PDFEditWrite",
                                   "PDSysFont", "PageContent", "ASExtra", "AVExtra", "AppView",
                                   "WIN",     "FDF",     "PDSRead", "PDSWrite"};
const int kTables = sizeof kTableNames / sizeof kTableNames[0];

HFT gCore;
HFT gTables[kTables];
ASUns32 gVersions[kTables + 1];
ExtensionID gExtension;
HFTServer gServer;
HFT gCached;
HFT gOwnTable;
bool gLeak;

HFT Table(const char* name) {
    for (int i = 0; i < kTables; i++)
        if (!strcmp(kTableNames[i], name)) return gTables[i];
    return nullptr;
}

extern "C" IMAGE_DOS_HEADER __ImageBase;

// The module's base name ("vxtestplugin"): copies of the DLL under other names are told apart.
const char* BaseName() {
    static char name[MAX_PATH];
    if (!name[0]) {
        char path[MAX_PATH];
        DWORD n = GetModuleFileNameA(reinterpret_cast<HMODULE>(&__ImageBase), path, MAX_PATH);
        path[n < MAX_PATH ? n : MAX_PATH - 1] = 0;
        const char* slash = strrchr(path, '\\');
        snprintf(name, sizeof name, "%s", slash ? slash + 1 : path);
        if (char* dot = strrchr(name, '.')) *dot = 0;
    }
    return name;
}

void Log(const char* text) {
    if (!gCore) return;
    char line[MAX_PATH + 64];
    snprintf(line, sizeof line, "%s %s", BaseName(), text);
    VxEntry<CoreLogProc>(gCore, kCoreLog)(line);
}

ASAtom Atom(const char* name) { return VxEntry<CoreAtomFromStringProc>(gCore, kCoreAtomFromString)(name); }

bool EnvSet(const char* name) {
    char value[8];
    return GetEnvironmentVariableA(name, value, sizeof value) > 0;
}

ASInt32 VXAPI TableAnswer() { return 42; }

HFT VXAPI Provide(HFTServer server, ASUns32 version, void* clientData) {
    if (!gCached) {
        gCached = VxEntry<ASNewHFTProc>(Table("AS"), kASNewHFT)(server, 3);
        gCached[1] = reinterpret_cast<void*>(TableAnswer);
    }
    return gCached;
}

void VXAPI DestroyServer(HFTServer server, void* clientData) {
    if (gCached) VxEntry<ASDestroyHFTProc>(Table("AS"), kASDestroyHFT)(gCached);
    gCached = nullptr;
}

void VXAPI OnDocOpened(PDDoc doc, void* clientData) { Log("doc opened\n"); }
void VXAPI OnDocClosed(PDDoc doc, void* clientData) { Log("doc closed\n"); }

void VXAPI OnIdle(void* clientData) {
    VxEntry<AVAppUnregisterIdleProcProc>(Table("AppView"), kAVAppUnregisterIdleProc)(OnIdle, clientData);
    Log("idle\n");
}

void VXAPI OnClick(ASUns32 clientData) {
    char line[64];
    snprintf(line, sizeof line, "click %u\n", clientData);
    Log(line);
}

ASBool VXAPI LoadCheck() {
    Log("loadcheck\n");
    return VxEntry<AVAppGetNameProc>(Table("AppView"), kAVAppGetName)() == Atom("Varnel Pro");
}

ASBool VXAPI Publish() {
    Log("publish\n");
    gServer = VxEntry<ASNewHFTServerProc>(Table("AS"), kASNewHFTServer)("VxTest", Provide, DestroyServer, nullptr);
    ASUns32 version = 0;
    gOwnTable = VxEntry<CoreGetHFTByNameProc>(gCore, kCoreGetHFTByName)(Atom("VxTest"), &version);
    return 1;
}

ASBool VXAPI Init() {
    Log("init\n");
    HFT av = Table("AppView");
    HFT extra = Table("ASExtra");
    auto reg = VxEntry<AVAppRegisterNotificationProc>(av, kAVAppRegisterNotification);
    reg(kNotifyPDDocDidOpen, gExtension, reinterpret_cast<void*>(OnDocOpened), nullptr);
    reg(kNotifyPDDocDidClose, gExtension, reinterpret_cast<void*>(OnDocClosed), nullptr);
    VxEntry<AVAppRegisterIdleProcProc>(av, kAVAppRegisterIdleProc)(OnIdle, nullptr, 1);

    void* strip = VxEntry<AVAppTakeImageStripProc>(av, kAVAppTakeImageStrip)(1005, 0, gExtension);
    AVRibbon ribbon = VxEntry<AVAppGetRibbonProc>(av, kAVAppGetRibbon)();
    AVIcon icon = VxEntry<AVIconLoadPNGProc>(av, kAVIconLoadPNG)(102, gExtension);
    ASText title = VxEntry<ASTextFromUnicodeProc>(extra, kASTextFromUnicode)(L"Test", 1);
    AVRibbonItem item =
        VxEntry<AVRibbonAddItemProc>(av, kAVRibbonAddItem)(ribbon, Atom("AVRibbon:Main:Open:Btn"), icon, title, 2);
    VxEntry<ASTextDestroyProc>(extra, kASTextDestroy)(title);
    VxEntry<AVRibbonItemSetProcProc>(av, kAVRibbonItemSetProc)(item, OnClick, 7);
    VxEntry<AVIconReleaseProc>(av, kAVIconRelease)(icon);
    VxEntry<AVAppReturnImageStripProc>(av, kAVAppReturnImageStrip)(strip);

    if (gLeak)
        VxEntry<ASFileSysCreatePathProc>(Table("AS"), kASFileSysCreatePath)(nullptr, Atom("Wstring"), L"C:\\leaked.txt",
                                                                           nullptr);
    return 1;
}

ASBool VXAPI Unload() {
    Log("unload\n");
    if (gServer) VxEntry<ASDestroyHFTServerProc>(Table("AS"), kASDestroyHFTServer)(gServer);
    gServer = nullptr;
    return 1;
}

ASBool VXAPI Fifth() {
    Log("fifth\n");
    return 1;
}

ASAtom VXAPI Name() {
    Log("name\n");
    char name[MAX_PATH + 8];
    snprintf(name, sizeof name, "VXTEST:%s", BaseName());
    return Atom(name);
}

void VXAPI Seventh() {}

}  // namespace

extern "C" ASBool VXAPI VarnelPlugInMain(void* handshake) {
    if (EnvSet("VX_TESTPLUGIN_MAIN_FAILS")) return 0;
    gLeak = EnvSet("VX_TESTPLUGIN_LEAK");
    auto* record = static_cast<VxHandshake*>(handshake);
    record->loadCheck = LoadCheck;
    record->init = Init;
    record->unload = Unload;
    record->publishHFT = Publish;
    record->fifth = Fifth;
    record->pluginName = Name;
    record->seventh = Seventh;
    return 1;
}

extern "C" ASBool VXAPI PISetupSDK(ASUns32 version, void* sdkData) {
    auto* data = static_cast<VxSDKData*>(sdkData);
    if (version == kVxHandshakeV2) {
        gCore = reinterpret_cast<HFT>(data->coreOrLegacy);
        for (int i = 0; i < kTables; i++)
            gTables[i] = VxEntry<CoreGetHFTByNameProc>(gCore, kCoreGetHFTByName)(Atom(kTableNames[i]), &gVersions[i]);
    } else if (version == kVxHandshakeV1) {
        auto* legacy = reinterpret_cast<HFT*>(data->coreOrLegacy);
        static const int kLegacyIndex[kTables] = {1, 2, 3, 4, 5, 6, 7, 10, -1, 8, 11, -1, 24, 25};
        gCore = legacy[0];
        for (int i = 0; i < kTables; i++) gTables[i] = kLegacyIndex[i] < 0 ? nullptr : legacy[kLegacyIndex[i]];
    } else {
        return 0;
    }
    gExtension = reinterpret_cast<ExtensionID>(data->extensionID);
    char line[64];
    snprintf(line, sizeof line, "setup 0x%x\n", version);
    Log(line);
    return 1;
}
