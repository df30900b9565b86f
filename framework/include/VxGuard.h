// VxGuard.h - the one convention by which failures are caught and logged.
//
// Every procedure the host or Windows calls into a module (table entries, notifications, idle and
// ribbon procedures, handshake callbacks, dialog and window procedures) runs its body through
// VxBoundary, which makes the module's state current, catches everything, writes one log block and
// returns the procedure's fallback; nothing unwinds through a frame that is not ours:
//
//   ASBool VXAPI Entry(void) {
//       return VxBoundary(VX_SITE("ExtTesseraHFT", "Entry"), ASBool(0), [&] { return ...; });
//   }
//
// Thread procedures use VxWorkerBoundary. A worker may call no host entry, so a block logged off the
// host's thread waits until the main thread writes it (at the end of the next boundary it passes, or
// VxLogWorkerFailures).
//
// Inside a procedure, VX_TRY / VX_CATCH guard one step that may fail while the procedure goes on:
//
//   VX_TRY {
//       ... body ...
//   } VX_CATCH("PluginInit", "PluginInit")
//
// A host exception (CVxException*) writes the block with the host's error code, anything else the
// "system" block. The Line field is the line of the handler (of the VX_SITE for a boundary).
#pragma once

#include "VarnelSDK.h"
#include "VxApp.h"

enum { kVxLogBlockSize = 1024 };

struct VxSite {
    const char* file;
    const char* function;
    int line;
};
#define VX_SITE(file, function) (VxSite{(file), (function), __LINE__})

// The two log blocks, formatted into `out` (kVxLogBlockSize bytes); they return `out`.
char* VxFormatHostExceptionBlock(char* out, ASInt32 code, const char* file, const char* function, int line);
char* VxFormatSystemExceptionBlock(char* out, const char* file, const char* function, int line);

// Write one block to the host's log. They allocate nothing and never throw.
void VxLogHostException(const char* file, const char* function, int line) noexcept;
void VxLogSystemException(const char* file, const char* function, int line) noexcept;

// Inside a catch handler: writes the block that fits the exception being handled (host or system).
void VxLogCurrentException(const char* file, const char* function, int line) noexcept;
#define VX_LOG_CURRENT_EXCEPTION(file, function) VxLogCurrentException((file), (function), __LINE__)

// The thread that handed the host's tables over (PISetupSDK); true everywhere before that.
bool VxOnHostThread() noexcept;

// A worker thread's failure, kept (without allocating) until the main thread writes it.
void VxKeepWorkerFailure(const VxSite& site) noexcept;
// Writes the kept blocks to the host's log; main thread only.
void VxLogWorkerFailures() noexcept;

#define VX_TRY try
#define VX_CATCH(file, function)                                  \
    catch (CVxException*) {                                       \
        VxLogHostException((file), (function), __LINE__);         \
    }                                                             \
    catch (...) {                                                 \
        VxLogSystemException((file), (function), __LINE__);       \
    }

template <class Result, class Body>
Result VxBoundary(const VxSite& site, const Result& fallback, Body&& body) noexcept {
    CVxManageState state;
    Result result = fallback;
    bool done = false;
    try {
        result = body();
        done = true;
    } catch (CVxException*) {
        VxLogHostException(site.file, site.function, site.line);
    } catch (...) {
        VxLogSystemException(site.file, site.function, site.line);
    }
    VxLogWorkerFailures();
    // A fallback that the body keeps up to date (the result computed so far) is read only now.
    return done ? result : fallback;
}

template <class Body>
void VxBoundary(const VxSite& site, Body&& body) noexcept {
    CVxManageState state;
    try {
        body();
    } catch (CVxException*) {
        VxLogHostException(site.file, site.function, site.line);
    } catch (...) {
        VxLogSystemException(site.file, site.function, site.line);
    }
    VxLogWorkerFailures();
}

template <class Result, class Body>
Result VxWorkerBoundary(const VxSite& site, const Result& fallback, Body&& body) noexcept {
    CVxManageState state;
    try {
        return body();
    } catch (...) {
        VxKeepWorkerFailure(site);
    }
    return fallback;
}
