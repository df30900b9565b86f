// Boundary.h - dmslink's host boundary: the one place that holds the module object, and the
// procedures the host calls (the "Tessera" table in ExtTesseraHFT, the notification handlers, the
// ribbon command, initialisation and unload). Each runs its body through DmslinkEntry or
// VxBoundary: the module's state current, nothing passed on to the host, the fallback on failure.
#pragma once

#include <windows.h>

#include <memory>

#include "VarnelSDK.h"
#include "VxGuard.h"
#include "module/CDmslinkModule.h"

// The module object between initialisation and unload; null before, after, and when it could not
// be made.
CDmslinkModule* TheModule();
// Initialisation and tests hand the boundary its module; unload and tests take it back.
void AdoptModule(std::unique_ptr<CDmslinkModule> module);
std::unique_ptr<CDmslinkModule> ReleaseModule();

// A procedure that needs the module: without one it answers the fallback. Every procedure answers
// from the servers connected so far: the automatic logins that have answered are taken first.
template <class Result, class Body>
Result DmslinkEntry(const VxSite& site, const Result& fallback, Body&& body) noexcept {
    return VxBoundary(site, fallback, [&]() -> Result {
        CDmslinkModule* module = TheModule();
        if (!module) return fallback;
        module->Manager().CollectLogins();
        return static_cast<Result>(body(*module));
    });
}
template <class Body>
void DmslinkEntry(const VxSite& site, Body&& body) noexcept {
    VxBoundary(site, [&] {
        CDmslinkModule* module = TheModule();
        if (!module) return;
        module->Manager().CollectLogins();
        body(*module);
    });
}

// ---- procedures given to the host (notification numbers as the SDK header names them)
void VXAPI TS_OpenHandler(PDDoc doc, void* clientData);                            // kNotifyPDDocDidOpen
void VXAPI TS_AVDocDidOpen(AVDoc view, void* clientData);                          // kNotifyAVDocDidOpen
void VXAPI TS_PDDocDidSave(PDDoc doc, void* clientData);                           // kNotifyPDDocDidSave
void VXAPI TS_PDDocDidClose(PDDoc doc, void* clientData);                          // kNotifyPDDocDidClose
void VXAPI TS_ClearTempFiles(void* clientData);                                    // kNotifyClearTempFiles
void VXAPI TS_SaveOrigin(PDDoc doc, const ASUns32* saveParams, void* clientData);  // kNotifyPDDocWillSave

void VXAPI TS_StartupIdleProc(void* clientData);
void VXAPI TS_RibbonCommand(ASUns32 clientData);
ASBool VXAPI PluginInit(void);
ASBool VXAPI PluginUnload(void);
