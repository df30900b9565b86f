// The two exports, the import of the host tables and the publishing of the module's own table.
#include "VxPlugin.h"

#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"

VxHFTSlot gVxHFT[kHftCount];
ASUns32 gVxHandshakeVersion;
VxWord gVxSDKWord0;
VxWord gVxSDKWord1;
ExtensionID gVxExtensionID;

namespace {

const char* const kTableNames[kHftCount] = {"Core",        "AS",       "COS",         "PDModel", "PDFEditRead",
                                             "PDFEditWrite", "PDSysFont", "PageContent", "ASExtra", "AVExtra",
                                             "AppView",     "WIN",      "FDF",         "PDSRead", "PDSWrite"};

// Where each table sits in the host's legacy array, and the version word the plug-in sets for it.
// "AVExtra" and "FDF" are not in that array and stay null.
struct LegacySlot {
    int slot;
    int index;
    ASUns32 version;
};
const LegacySlot kLegacy[] = {
    {kHftCore, 0, 0x60000},         {kHftAS, 1, 0x70000},       {kHftCOS, 2, 0x60000},
    {kHftPDModel, 3, 0x70000},      {kHftPDFEditRead, 4, 0x60000}, {kHftPDFEditWrite, 5, 0x60000},
    {kHftPDSysFont, 6, 0x60000},    {kHftPageContent, 7, 0x60000}, {kHftAppView, 8, 0x60000},
    {kHftASExtra, 10, 0x60000},     {kHftWIN, 11, 0x60000},     {kHftPDSRead, 24, 0x60000},
    {kHftPDSWrite, 25, 0x60000},
};

const char kSite[] = "VxPlugin";

DWORD sHostThread = 0;
ASFileSys sDefaultFileSys = nullptr;

HFTServer sServer;
HFT sCachedTable;
HFT sOwnTable;

void ImportByName() {
    for (int slot = kHftAS; slot < kHftCount; ++slot) {
        ASAtom name = VxAtom(kTableNames[slot]);
        gVxHFT[slot].table = VxGetHFTByName(name, &gVxHFT[slot].version);
    }
}

void ImportLegacy(HFT* legacy) {
    for (const LegacySlot& entry : kLegacy) {
        gVxHFT[entry.slot].table = legacy[entry.index];
        gVxHFT[entry.slot].version = entry.version;
    }
}

}  // namespace

const char* VxHFTName(int slot) { return slot >= 0 && slot < kHftCount ? kTableNames[slot] : ""; }

HFT VxOwnTable() { return sOwnTable; }

ASFileSys VxDefaultFileSys() {
    if (!sDefaultFileSys) sDefaultFileSys = VxCall<ASGetDefaultFileSysProc>(kHftAS, kASGetDefaultFileSys)();
    return sDefaultFileSys;
}

bool VxOnHostThread() noexcept { return sHostThread == 0 || sHostThread == GetCurrentThreadId(); }
HFT VxCachedTable() { return sCachedTable; }

ASBool VXAPI VxAlwaysTrue(void) {
    return VxBoundary(VX_SITE(kSite, "VxAlwaysTrue"), ASBool(1), [] { return ASBool(1); });
}
void VXAPI VxNothing(void) {
    VxBoundary(VX_SITE(kSite, "VxNothing"), [] {});
}

extern "C" ASBool VXAPI VarnelPlugInMain(void* handshake) {
    return VxBoundary(VX_SITE(kSite, "VarnelPlugInMain"), ASBool(0), [&]() -> ASBool {
        if (!handshake) return 0;
        VxHandshake* record = static_cast<VxHandshake*>(handshake);
        record->loadCheck = gVxModule.loadCheck;
        record->init = gVxModule.init;
        record->unload = gVxModule.unload;
        record->publishHFT = VxPublishHFT;
        record->fifth = gVxModule.fifth;
        record->pluginName = VxPluginNameAtom;
        record->seventh = VxNothing;
        return 1;
    });
}

extern "C" ASBool VXAPI PISetupSDK(ASUns32 handshakeVersion, void* sdkData) {
    return VxBoundary(VX_SITE(kSite, "PISetupSDK"), ASBool(0), [&]() -> ASBool {
        if ((handshakeVersion != kVxHandshakeV1 && handshakeVersion != kVxHandshakeV2) || !sdkData) return 0;
        const VxSDKData* data = static_cast<const VxSDKData*>(sdkData);
        sHostThread = GetCurrentThreadId();
        sDefaultFileSys = nullptr;
        gVxSDKWord0 = data->word0;
        gVxSDKWord1 = data->word1;
        gVxExtensionID = reinterpret_cast<ExtensionID>(data->extensionID);
        if (handshakeVersion == kVxHandshakeV1) {
            gVxHandshakeVersion = 1;
            ImportLegacy(reinterpret_cast<HFT*>(data->coreOrLegacy));
        } else {
            gVxHandshakeVersion = 2;
            gVxHFT[kHftCore].table = reinterpret_cast<HFT>(data->coreOrLegacy);
            gVxHFT[kHftCore].version = static_cast<ASUns32>(data->coreVersion);
            ImportByName();
        }
        return 1;
    });
}

ASBool VXAPI VxPublishHFT(void) {
    return VxBoundary(VX_SITE(kSite, "VxPublishHFT"), ASBool(0), [&]() -> ASBool {
        sServer = VxNewHFTServer(gVxModule.tableName, VxProvideHFT, VxDestroyHFTProc, nullptr);
        ASUns32 version = 0;
        sOwnTable = VxGetHFTByName(VxAtom(gVxModule.tableName), &version);
        return 1;
    });
}

ASAtom VXAPI VxPluginNameAtom(void) {
    return VxBoundary(VX_SITE(kSite, "VxPluginNameAtom"), ASAtom(0), [&] { return VxAtom(gVxModule.pluginName); });
}

HFT VXAPI VxProvideHFT(HFTServer server, ASUns32, void*) {
    return VxBoundary(VX_SITE(kSite, "VxProvideHFT"), HFT(nullptr), [&] {
        if (!sCachedTable) {
            HFT table = VxNewHFT(server, gVxModule.tableEntries);
            if (table && gVxModule.fillTable) gVxModule.fillTable(table);
            sCachedTable = table;
        }
        return sCachedTable;
    });
}

void VXAPI VxDestroyHFTProc(HFTServer, void*) {
    VxBoundary(VX_SITE(kSite, "VxDestroyHFTProc"), [&] {
        HFT table = sCachedTable;
        sCachedTable = nullptr;
        if (table) VxDestroyHFT(table);
    });
}

void VxDestroyHFTServer() {
    HFTServer server = sServer;
    sServer = nullptr;
    sOwnTable = nullptr;
    if (server) VxDestroyHFTServerRaw(server);
}

void VxResetForTests() {
    for (VxHFTSlot& slot : gVxHFT) slot = VxHFTSlot{};
    gVxHandshakeVersion = 0;
    gVxSDKWord0 = gVxSDKWord1 = 0;
    gVxExtensionID = nullptr;
    sServer = nullptr;
    sCachedTable = nullptr;
    sOwnTable = nullptr;
    sHostThread = 0;
    sDefaultFileSys = nullptr;
}
