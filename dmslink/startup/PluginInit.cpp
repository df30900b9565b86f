// dmslink's handshake procedures: initialisation and unload.
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxPlugin.h"
#include "documents/CDocumentManager.h"
#include "startup/ExtTesseraHFT.h"

CDocumentManager* gDocumentManager = nullptr;
TSManager* gTSManager = nullptr;

namespace {

ASBool VXAPI PluginInit(void) {
    VX_MANAGE_STATE();
    ASBool result = 0;
    VX_TRY {
        result = 1;
    }
    VX_CATCH("PluginInit", "PluginInit")
    return result;
}

ASBool VXAPI PluginUnload(void) {
    VX_MANAGE_STATE();
    VxDestroyHFTServer();
    return 1;
}

}  // namespace

const VxModuleDef gVxModule = {
    "VARNELPRO:Tessera", "Tessera", kTesseraTableSize, FillTesseraTable, VxAlwaysTrue, PluginInit, PluginUnload,
    VxAlwaysTrue,
};
