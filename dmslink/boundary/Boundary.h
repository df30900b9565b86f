// Boundary.h - dmslink's host boundary: the one place that holds the module object, and the
// procedures the host calls (the "Tessera" table in ExtTesseraHFT, the notification handlers, the
// ribbon command, initialisation and unload). Each runs its body through one of the guards below or
// VxBoundary: the module's state current, nothing passed on to the host, the fallback on failure.
//
// The guards also take the procedure's turn. The plug-in runs one DMS operation at a time: an
// operation's dialogs and alerts run message loops, from which the host may call the plug-in again,
// and nothing called there may start a second operation or free a record the first one still uses.
//   DmslinkEntry      questions answered from the state as it is, and the preferences: any time.
//   DmslinkOperation  a DMS operation, or a change the running one must not see: while another
//                     runs, the procedure's fallback (nothing done); an idle procedure then simply
//                     runs again at a later idle moment.
//   DmslinkQueued     work that must not be lost (a save, a close, the marks they read): what it
//                     needs from the host is taken at once, the work itself waits its turn and runs
//                     once the running operation has ended, in order of arrival.
#pragma once

#include <windows.h>

#include <memory>
#include <utility>

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

template <class Result, class Body>
Result DmslinkOperation(const VxSite& site, const Result& fallback, Body&& body) noexcept {
    return DmslinkEntry(site, fallback, [&](CDmslinkModule& module) {
        return module.RunOperation(fallback, [&] { return body(module); });
    });
}
template <class Body>
void DmslinkOperation(const VxSite& site, Body&& body) noexcept {
    DmslinkEntry(site, [&](CDmslinkModule& module) { module.RunOperation([&] { body(module); }); });
}

// `read` takes from the host what the work needs and returns the work (a CDmslinkModule::Work, or
// null for none). The work may run after the host has let go of its objects: it keeps paths as text,
// and a document handle only to look a record up.
template <class Read>
void DmslinkQueued(const VxSite& site, Read&& read) noexcept {
    DmslinkEntry(site, [&](CDmslinkModule& module) {
        if (CDmslinkModule::Work work = read(module)) module.RunOrQueue(site, std::move(work));
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
