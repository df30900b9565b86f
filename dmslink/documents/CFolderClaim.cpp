#include "documents/CFolderClaim.h"

#include <functional>
#include <utility>
#include <vector>

#include "Files/CAPLongPaths.h"
#include "Files/CAPPathText.h"

namespace {

const wchar_t kClaimFile[] = L"TSClaim.dat";
const wchar_t kRecordFile[] = L"TSFile.dat";

std::wstring WithoutFinalBackslash(std::wstring folder) {
    while (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return folder;
}

// Delete access that no one may share: a second host asking for it meets a sharing violation for
// as long as this handle lives. Readers and writers are welcome (a record file is read and rewritten
// by its own host while claimed).
CAPHandle OpenClaim(const std::wstring& path, DWORD disposition) {
    return CAPHandle(CreateFileW(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool Dispose(HANDLE file) {
    FILE_DISPOSITION_INFO dispose = {TRUE};
    return SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose) != FALSE;
}

}  // namespace

bool IsClaimFileName(const std::wstring& name) { return CAPSameTextIgnoringCase(name, kClaimFile); }

bool VisitPlainFiles(const std::wstring& folder, const std::function<bool(const std::wstring& name)>& visit) {
    WIN32_FIND_DATAW found;
    CAPFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search) return false;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L".." || IsClaimFileName(name)) continue;
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
        if (!visit(name)) return false;
    } while (FindNextFileW(search.get(), &found));
    return true;
}

CFolderClaim& CFolderClaim::operator=(CFolderClaim&& other) noexcept {
    if (this != &other) {
        Release();
        folder_ = std::move(other.folder_);
        file_ = std::move(other.file_);
        record_ = std::move(other.record_);
    }
    return *this;
}

bool CFolderClaim::Take(const std::wstring& folder) {
    Release();
    std::wstring path = WithoutFinalBackslash(folder);
    // Nothing reached through a link is claimed (or later deleted).
    if (path.empty() || !IsOwnEntry(path)) return false;
    CAPHandle claim = OpenClaim(path + L"\\" + kClaimFile, OPEN_ALWAYS);
    if (!claim || !CAPIsEntryOf(claim.get(), path + L"\\" + kClaimFile, false)) return false;
    const std::wstring recordFile = path + L"\\" + kRecordFile;
    CAPHandle record;
    if (CAPPathExists(recordFile)) {
        record = OpenClaim(recordFile, OPEN_EXISTING);
        if (!record) {
            // Another host holds the record (one of an earlier build claims only that).
            Dispose(claim.get());
            return false;
        }
    }
    folder_ = std::move(path);
    file_ = std::move(claim);
    record_ = std::move(record);
    return true;
}

bool CFolderClaim::Create(const std::wstring& folder) {
    Release();
    std::wstring path = WithoutFinalBackslash(folder);
    if (path.empty() || !CreateDirectoryW(path.c_str(), nullptr)) return false;
    // Made at once: a host that finds the folder in between claims it first, and this one moves on.
    CAPHandle claim = OpenClaim(path + L"\\" + kClaimFile, CREATE_NEW);
    if (!claim) return false;
    folder_ = std::move(path);
    file_ = std::move(claim);
    return true;
}

void CFolderClaim::DisposeClaimFile() {
    record_.Reset();
    if (file_) Dispose(file_.get());
    file_.Reset();
}

void CFolderClaim::Release() {
    DisposeClaimFile();
    folder_.clear();
}

bool CFolderClaim::DeleteFolder() {
    if (!file_) return false;
    std::vector<CAPHandle> held;
    const bool all = VisitPlainFiles(folder_, [&](const std::wstring& name) {
        if (record_ && CAPSameTextIgnoringCase(name, kRecordFile)) return true;  // through its claim below
        // Shared with no one: a file any process holds open is not to be deleted. And it must be the
        // file its name says, not the target of a link the system opened instead.
        const std::wstring path = folder_ + L"\\" + name;
        CAPHandle file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file || !CAPIsEntryOf(file.get(), path, true)) return false;
        held.push_back(std::move(file));
        return true;
    });
    if (!all) return false;
    // Deleted through the handles that hold them, so nothing can take their place in between.
    for (CAPHandle& file : held) Dispose(file.get());
    held.clear();
    if (record_) Dispose(record_.get());
    const std::wstring folder = folder_;
    Release();
    return RemoveDirectoryW(folder.c_str()) != FALSE;
}

void CFolderClaim::DeleteTree() {
    if (!file_) return;
    // The tree's own walk passes over the two files this claim holds.
    DeleteFolderTree(folder_);
    if (record_) Dispose(record_.get());
    const std::wstring folder = folder_;
    Release();
    RemoveDirectoryW(folder.c_str());
}

void CFolderClaim::DeleteIfEmpty() {
    if (!file_) return;
    const std::wstring folder = folder_;
    Release();
    // Another host that claimed it in between has put its claim file in: the folder is not empty.
    RemoveDirectoryW(folder.c_str());
}

bool CFolderClaim::HoldsNothing() const {
    WIN32_FIND_DATAW found;
    CAPFindHandle search(FindFirstFileW((folder_ + L"\\*").c_str(), &found));
    if (!search) return true;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L".." && !IsClaimFileName(name)) return false;
    } while (FindNextFileW(search.get(), &found));
    return true;
}
