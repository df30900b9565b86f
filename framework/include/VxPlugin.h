// VxPlugin.h - what a module tells the framework about itself, and the framework's plug-in services.
//
// The framework implements the two exports (VarnelPlugInMain, PISetupSDK), the import of the host
// tables, the publishing of the module's own table (server, provider with its cached table, destroy
// procedure) and the name procedure. Each module defines gVxModule.
#pragma once

#include "VarnelSDK.h"

struct VxModuleDef {
    const char* pluginName;         // "VARNELPRO:Tessera"
    const char* tableName;          // "Tessera"
    ASUns32 tableEntries;           // entries including the null entry 0
    void (*fillTable)(HFT table);   // fills entries 1..N-1; may be null
    VxBoolProc loadCheck;           // handshake field 1
    VxBoolProc init;                // field 2
    VxBoolProc unload;              // field 3
    VxBoolProc fifth;               // field 5
};
extern const VxModuleDef gVxModule;

// The module's own table as the publish callback obtained it back from the host (null before).
HFT VxOwnTable();
// The table the provider built and cached (null when none or after the destroy procedure).
HFT VxCachedTable();
// Destroys the module's HFT server (the host calls the destroy procedure, which drops the cache).
void VxDestroyHFTServer();

ASBool VXAPI VxAlwaysTrue(void);
void VXAPI VxNothing(void);

// The framework's own procedures, exposed for tests.
ASBool VXAPI VxPublishHFT(void);
ASAtom VXAPI VxPluginNameAtom(void);
HFT VXAPI VxProvideHFT(HFTServer server, ASUns32 version, void* clientData);
void VXAPI VxDestroyHFTProc(HFTServer server, void* clientData);

// Clears every module-wide slot (tests only).
void VxResetForTests();

extern "C" {
ASBool VXAPI VarnelPlugInMain(void* handshake);
ASBool VXAPI PISetupSDK(ASUns32 handshakeVersion, void* sdkData);
}
