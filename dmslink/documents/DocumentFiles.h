// DocumentFiles.h - helpers shared by the registry, the workspace and the PRF reader: owned handles,
// path texts of any length and the file status trace lines.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "VarnelSDK.h"
#include "dms/TSManager.h"

namespace documents {

extern const char kSite[];  // "CDocumentManager"

class CFileHandle {
public:
    CFileHandle() = default;
    explicit CFileHandle(HANDLE handle) : handle_(handle) {}
    ~CFileHandle() { Reset(); }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    CFileHandle(CFileHandle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    CFileHandle& operator=(CFileHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }
    void Reset() {
        if (valid()) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class CFindHandle {
public:
    explicit CFindHandle(HANDLE handle) : handle_(handle) {}
    ~CFindHandle() {
        if (valid()) FindClose(handle_);
    }
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// A host path owned by this object, released in the default file system.
class CHostPath {
public:
    CHostPath() = default;
    explicit CHostPath(ASPathName path) : path_(path) {}
    ~CHostPath();
    CHostPath(const CHostPath&) = delete;
    CHostPath& operator=(const CHostPath&) = delete;
    ASPathName get() const { return path_; }
    ASPathName release() { return std::exchange(path_, nullptr); }

private:
    ASPathName path_ = nullptr;
};

// Raises a host-independent failure inside a guarded body.
[[noreturn]] void Fail(const char* what);

// The display text of a host path, of any length; empty for a null path. Raises on a host failure.
std::wstring PathText(ASPathName path);
// Everything before the last separator ("C:\a\b.pdf" -> "C:\a"); empty when there is none.
std::wstring FolderOf(const std::wstring& path);
// Everything after the last separator.
std::wstring NameOf(const std::wstring& path);
bool Exists(const std::wstring& path);
bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b);

// Opens a file for reading with all sharing allowed; an invalid handle when it cannot.
CFileHandle OpenForStatus(const std::wstring& path);
// The four trace lines of a file's status; false when the status cannot be read.
bool ReadFileStatus(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);
void TraceFileStatus(const BY_HANDLE_FILE_INFORMATION& info);

// A second counted reference to a record's DMS document, as the operations take one.
DmsDocumentPtr NewReference(const DmsDocumentPtr& document);

}  // namespace documents
