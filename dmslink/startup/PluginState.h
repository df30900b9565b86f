// PluginState.h - dmslink's module-wide start-up state and the procedures that start-up hands to the
// host.
#pragma once

#include <windows.h>

#include "VarnelSDK.h"

class CDocumentManager;
class TSManager;

// The module's one registry and DMS manager (start-up creates them, unload destroys them).
extern CDocumentManager* gDocumentManager;
extern TSManager* gTSManager;

// Set by the handler of notification 38 for a save of a copy; TS_PDDocDidSave ignores the save of
// exactly that document while the flag is set.
struct SaveOrigin {
    PDDoc document = nullptr;
    bool flag = false;
};
extern SaveOrigin gSaveOrigin;

// The language resource module loaded at start-up, or null.
extern HMODULE gLanguageModule;

// Reads the six preference flags from HKLM\...\Settings\Tessera and then the server list. False,
// with nothing read, when the key does not open.
bool ReadPreferences(TSManager& manager);
// One preference value: true exactly when it is a string "1"; a value that cannot be read as a
// string of at most 260 characters leaves *flag as it was.
bool ReadPreferenceFlag(HKEY key, const wchar_t* name, bool* flag);

// ---- procedures given to the host
void VXAPI TS_OpenHandler(PDDoc doc, void* clientData);              // 66
void VXAPI TS_AVDocDidOpen(AVDoc view, void* clientData);            // 1005
void VXAPI TS_PDDocDidSave(PDDoc doc, void* clientData);             // 19
void VXAPI TS_PDDocDidClose(PDDoc doc, void* clientData);            // 55
void VXAPI TS_ClearTempFiles(void* clientData);                      // 1002
void VXAPI TS_SaveOrigin(PDDoc doc, const ASUns32* saveParams, void* clientData);  // 38
void TS_DocDidOpen(PDDoc doc);

void VXAPI TS_StartupIdleProc(void* clientData);
void VXAPI TS_RibbonCommand(ASUns32 clientData);
ASBool VXAPI PluginInit(void);
ASBool VXAPI PluginUnload(void);
