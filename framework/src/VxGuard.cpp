#include "VxGuard.h"

#include <stdio.h>

#include "VxHFT.h"

namespace {
const char kRule[] = "==============================";

char* Terminated(char* out, int written) {
    if (written < 0 || written >= kVxLogBlockSize) out[kVxLogBlockSize - 1] = '\0';
    return out;
}
}  // namespace

char* VxFormatHostExceptionBlock(char* out, ASInt32 code, const char* file, const char* function, int line) {
    return Terminated(out, _snprintf(out, kVxLogBlockSize,
                                     "%s\nException handled: 0x%08X\nFile: %s\nFunction: %s\nLine: %d\n", kRule,
                                     static_cast<unsigned>(code), file, function, line));
}

char* VxFormatSystemExceptionBlock(char* out, const char* file, const char* function, int line) {
    return Terminated(out, _snprintf(out, kVxLogBlockSize,
                                     "%s\nException handled: system\nFile: %s\nFunction: %s\nLine: %d\n", kRule,
                                     file, function, line));
}

// Writing the block must not let a second exception out of a handler.
void VxLogHostException(const char* file, const char* function, int line) noexcept {
    try {
        char block[kVxLogBlockSize];
        VxLog(VxFormatHostExceptionBlock(block, VxGetExceptionErrorCode(), file, function, line));
    } catch (...) {
    }
}

void VxLogSystemException(const char* file, const char* function, int line) noexcept {
    try {
        char block[kVxLogBlockSize];
        VxLog(VxFormatSystemExceptionBlock(block, file, function, line));
    } catch (...) {
    }
}
