// Paths of any length, and entries that are what their path says: the long-path form, links,
// junctions and other reparse points, and a folder tree deleted without following any of them.
#include "Files/CAPLongPaths.h"

#include "Files/CAPPathText.h"
#include "Utilities/CAPHandles.h"

// The "\\?\" form reaches paths of any length; it needs an absolute path without "." components.
std::wstring CAPLongForm(const std::wstring& path) {
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

namespace {

std::wstring WithoutLongPrefix(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

// What the system resolves the path to, when it can tell; empty otherwise.
std::wstring ResolvedPath(HANDLE entry) {
    DWORD needed = GetFinalPathNameByHandleW(entry, nullptr, 0, FILE_NAME_NORMALIZED);
    if (needed == 0) return std::wstring();
    std::wstring resolved(needed, L'\0');
    DWORD length = GetFinalPathNameByHandleW(entry, &resolved[0], needed, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= needed) return std::wstring();
    resolved.resize(length);
    return WithoutLongPrefix(resolved);
}

std::wstring LongNameOf(const std::wstring& path) {
    DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    DWORD length = GetLongPathNameW(path.c_str(), &full[0], needed);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    return full;
}

// Depth first without recursion, so no tree is deep enough to exhaust the stack. A link, junction or
// other reparse point is removed (where the system can remove one) and never entered; a file that is
// not what its path says is left alone, so nothing outside the tree is ever deleted.
void RemoveTreeLong(const std::wstring& top) {
    struct Pending {
        std::wstring folder;
        bool listed;
    };
    std::vector<Pending> pending{{top, false}};
    while (!pending.empty()) {
        Pending& current = pending.back();
        if (current.listed) {
            RemoveDirectoryW(current.folder.c_str());
            pending.pop_back();
            continue;
        }
        current.listed = true;
        const std::wstring folder = current.folder;
        WIN32_FIND_DATAW found;
        CAPFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
        if (!search) continue;
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = folder;
            child.append(L"\\").append(name);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (!RemoveDirectoryW(child.c_str())) DeleteFileW(child.c_str());
            } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (IsOwnEntry(child)) pending.push_back({child, false});
            } else if (IsOwnEntry(child)) {
                if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                    SetFileAttributesW(child.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search.get(), &found));
    }
}

}  // namespace

bool CAPIsEntryOf(HANDLE entry, const std::wstring& path, bool mustResolve) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(entry, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    // Some systems report a symbolic link to a file as that file, and open its target even when asked
    // for the link itself (Wine); the path it resolves to tells. Where the system cannot say (Wine,
    // beyond MAX_PATH), the attributes decide unless the caller must know.
    std::wstring resolved = ResolvedPath(entry);
    if (resolved.empty()) return !mustResolve;
    return CAPSameTextIgnoringCase(resolved, LongNameOf(WithoutLongPrefix(CAPLongForm(path))));
}

bool IsOwnEntry(const std::wstring& path) {
    CAPHandle entry(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return entry && CAPIsEntryOf(entry.get(), path, false);
}

std::vector<std::wstring> SubFolders(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    CAPFindHandle search(FindFirstFileW((folder + L"\\*.*").c_str(), &found));
    if (!search) return names;
    do {
        std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search.get(), &found));
    return names;
}

void DeleteFolderTree(const std::wstring& folder) {
    if (folder.empty()) return;
    // Deleted by our own walk through the long-path form rather than by the shell: a tree holding a
    // path beyond MAX_PATH makes Wine's shell delete the files of the current folder instead.
    std::wstring longForm = CAPLongForm(folder);
    DWORD attributes = GetFileAttributesW(longForm.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    // A folder that is itself a link goes as a link: what it points to stays.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveDirectoryW(longForm.c_str());
        return;
    }
    if (IsOwnEntry(longForm)) RemoveTreeLong(longForm);
}

