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

// Writing the block must not let a second exception out of a handler. Off the host's thread no host
// entry may be called: the block waits for the main thread then.
void VxLogHostException(const char* file, const char* function, int line) noexcept {
    if (!VxOnHostThread()) return VxKeepWorkerFailure(VxSite{file, function, line});
    try {
        char block[kVxLogBlockSize];
        VxLog(VxFormatHostExceptionBlock(block, VxGetExceptionErrorCode(), file, function, line));
    } catch (...) {
    }
}

void VxLogSystemException(const char* file, const char* function, int line) noexcept {
    if (!VxOnHostThread()) return VxKeepWorkerFailure(VxSite{file, function, line});
    try {
        char block[kVxLogBlockSize];
        VxLog(VxFormatSystemExceptionBlock(block, file, function, line));
    } catch (...) {
    }
}

void VxLogCurrentException(const char* file, const char* function, int line) noexcept {
    try {
        throw;
    } catch (CVxException*) {
        VxLogHostException(file, function, line);
    } catch (...) {
        VxLogSystemException(file, function, line);
    }
}

namespace {

// A handful is plenty: each worker keeps at most one, and the main thread writes them once the
// worker has ended. More than that in between are dropped.
constexpr int kKeptFailures = 8;
SRWLOCK sKeptLock = SRWLOCK_INIT;
VxSite sKept[kKeptFailures];
int sKeptCount = 0;
volatile LONG sAnyKept = 0;

}  // namespace

void VxKeepWorkerFailure(const VxSite& site) noexcept {
    AcquireSRWLockExclusive(&sKeptLock);
    if (sKeptCount < kKeptFailures) sKept[sKeptCount++] = site;
    InterlockedExchange(&sAnyKept, 1);
    ReleaseSRWLockExclusive(&sKeptLock);
}

void VxLogWorkerFailures() noexcept {
    if (InterlockedCompareExchange(&sAnyKept, 0, 0) == 0 || !VxOnHostThread()) return;
    VxSite kept[kKeptFailures];
    int count = 0;
    AcquireSRWLockExclusive(&sKeptLock);
    for (; count < sKeptCount; ++count) kept[count] = sKept[count];
    sKeptCount = 0;
    InterlockedExchange(&sAnyKept, 0);
    ReleaseSRWLockExclusive(&sKeptLock);
    for (int i = 0; i < count; ++i) VxLogSystemException(kept[i].file, kept[i].function, kept[i].line);
}
