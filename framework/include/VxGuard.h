// VxGuard.h - the one convention by which failures in host-called procedures are caught and logged.
//
//   VX_TRY {
//       ... body ...
//   } VX_CATCH("PluginInit", "PluginInit")
//
// A host exception (CVxException*) writes the block with the host's error code, anything else the
// "system" block; either way the exception ends there and the procedure goes on to return its
// fallback. The Line field is the line of the handler.
#pragma once

#include "VarnelSDK.h"

enum { kVxLogBlockSize = 1024 };

// The two log blocks, formatted into `out` (kVxLogBlockSize bytes); they return `out`.
char* VxFormatHostExceptionBlock(char* out, ASInt32 code, const char* file, const char* function, int line);
char* VxFormatSystemExceptionBlock(char* out, const char* file, const char* function, int line);

// Write one block to the host's log. They allocate nothing and never throw.
void VxLogHostException(const char* file, const char* function, int line) noexcept;
void VxLogSystemException(const char* file, const char* function, int line) noexcept;

#define VX_TRY try
#define VX_CATCH(file, function)                                  \
    catch (CVxException*) {                                       \
        VxLogHostException((file), (function), __LINE__);         \
    }                                                             \
    catch (...) {                                                 \
        VxLogSystemException((file), (function), __LINE__);       \
    }
