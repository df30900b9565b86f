// TSHandles.h - owning wrappers for the handles and host paths the document operations hold.
#pragma once

#include <windows.h>

#include <utility>

#include "Utilities/CAPHandles.h"
#include "VarnelSDK.h"

namespace tsops {

using CHandle = CAPHandle;
using CHostPath = CAPHostPath;

// A worker thread whose parameters live in the starting frame: whatever way that frame is left, the
// thread has ended before the parameters go.
class CWorkerThread {
public:
    CWorkerThread() = default;
    ~CWorkerThread() { Join(); }
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    bool Start(LPTHREAD_START_ROUTINE proc, void* params) {
        Join();
        handle_.Reset(CreateThread(nullptr, 0, proc, params, 0, nullptr));
        return static_cast<bool>(handle_);
    }
    HANDLE get() const { return handle_.get(); }
    // Waits for the end and closes the handle; the exit code, or STILL_ACTIVE when none was started.
    DWORD Join() {
        DWORD code = STILL_ACTIVE;
        if (!handle_) return code;
        WaitForSingleObject(handle_.get(), INFINITE);
        if (!GetExitCodeThread(handle_.get(), &code)) code = STILL_ACTIVE;
        handle_.Reset();
        return code;
    }

private:
    CHandle handle_;
};

}  // namespace tsops
