// CAPHandles.h - owning wrappers for the kernel handles, find handles and host paths the module holds.
// Each closes or releases exactly once; none can be copied, all can be moved.
#pragma once

#include <windows.h>

#include <utility>

#include "VxHFT.h"

// A kernel handle (file, event, thread). Null and INVALID_HANDLE_VALUE both stand for none.
class CAPHandle {
public:
    CAPHandle() = default;
    explicit CAPHandle(HANDLE handle) : handle_(handle) {}
    ~CAPHandle() { Reset(); }
    CAPHandle(const CAPHandle&) = delete;
    CAPHandle& operator=(const CAPHandle&) = delete;
    CAPHandle(CAPHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    CAPHandle& operator=(CAPHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return valid(); }
    void Reset(HANDLE handle = nullptr) {
        if (valid()) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

// A FindFirstFileW search.
class CAPFindHandle {
public:
    explicit CAPFindHandle(HANDLE handle) : handle_(handle) {}
    ~CAPFindHandle() {
        if (valid()) FindClose(handle_);
    }
    CAPFindHandle(const CAPFindHandle&) = delete;
    CAPFindHandle& operator=(const CAPFindHandle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// A host path owned here, released in the default file system once.
class CAPHostPath {
public:
    CAPHostPath() = default;
    explicit CAPHostPath(ASPathName path) : path_(path) {}
    ~CAPHostPath() { Reset(); }
    CAPHostPath(const CAPHostPath&) = delete;
    CAPHostPath& operator=(const CAPHostPath&) = delete;
    CAPHostPath(CAPHostPath&& other) noexcept : path_(std::exchange(other.path_, nullptr)) {}
    CAPHostPath& operator=(CAPHostPath&& other) noexcept {
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
    void Reset(ASPathName path = nullptr) {
        ASPathName old = std::exchange(path_, path);
        if (old) VxReleasePath(VxDefaultFileSys(), old);
    }

private:
    ASPathName path_ = nullptr;
};
