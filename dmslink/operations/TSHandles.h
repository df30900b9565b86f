// TSHandles.h - owning wrappers for the handles and host paths the document operations hold.
#pragma once

#include <windows.h>

#include <utility>

#include "VarnelSDK.h"

namespace tsops {

// A kernel handle (event, thread), closed once.
class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE handle) : handle_(handle) {}
    ~CHandle() { Reset(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    CHandle(CHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    CHandle& operator=(CHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void Reset(HANDLE handle = nullptr) {
        if (handle_) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

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

// A host path owned by the operation, released in the default file system once.
class CHostPath {
public:
    CHostPath() = default;
    explicit CHostPath(ASPathName path) : path_(path) {}
    ~CHostPath() { Reset(); }
    CHostPath(const CHostPath&) = delete;
    CHostPath& operator=(const CHostPath&) = delete;
    CHostPath(CHostPath&& other) noexcept : path_(std::exchange(other.path_, nullptr)) {}
    CHostPath& operator=(CHostPath&& other) noexcept {
        if (this != &other) {
            Reset();
            path_ = std::exchange(other.path_, nullptr);
        }
        return *this;
    }

    ASPathName get() const { return path_; }
    explicit operator bool() const { return path_ != nullptr; }
    // Hands the path on (to the caller, or to the deferred delete that releases it).
    ASPathName Release() { return std::exchange(path_, nullptr); }
    void Reset(ASPathName path = nullptr);

private:
    ASPathName path_ = nullptr;
};

}  // namespace tsops
