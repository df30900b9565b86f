#include "Files/CAPFileSpecifier.h"

#include <string.h>
#include <wchar.h>

#include <string>

#include "CAPError.h"
#include "Files/CAPPathText.h"
#include "resources/CAPResource.h"
#include "Utilities/CAPHandles.h"
#include "VxGuard.h"
#include "VxHFT.h"

namespace {

const char kSite[] = "Files\\CAPFileSpecifier";
const char kAssignFunction[] = "CAPFileSpecifier::operator =";
const char kConvertFunction[] = "CAPFileSpecifier::operator class CVxASPathName *const ";
const char kDestroyFunction[] = "CAPFileSpecifier::~CAPFileSpecifier";

enum : ASInt32 { kErrNoHostPath = 0x30000001 };
enum { kAssignRaiseLine = 206, kConvertRaiseLine = 450 };


bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool EndsWithSeparator(const std::wstring& text) { return !text.empty() && IsSeparator(text.back()); }

// The last component split as the CRT's path splitter does: the extension runs from the last dot.
struct NameParts {
    std::wstring name;
    std::wstring extension;
};

NameParts SplitLastComponent(const wchar_t* path) {
    const wchar_t* start = path;
    for (const wchar_t* p = path; *p; ++p)
        if (IsSeparator(*p) || *p == L':') start = p + 1;
    NameParts parts;
    const wchar_t* dot = wcsrchr(start, L'.');
    if (dot) {
        parts.name.assign(start, dot);
        parts.extension = dot;
    } else {
        parts.name = start;
    }
    return parts;
}

bool CopyOut(const std::wstring& text, wchar_t* out, size_t outSize) {
    if (!out || text.size() >= outSize) return false;
    wmemcpy(out, text.c_str(), text.size() + 1);
    return true;
}

// Absolute form into a buffer of `limit` characters including the terminator; empty on failure.
std::wstring FullPath(const wchar_t* path, DWORD limit) {
    wchar_t buffer[kCAPMaxPath];
    DWORD length = GetFullPathNameW(path, limit, buffer, nullptr);
    if (length == 0 || length >= limit) return std::wstring();
    return std::wstring(buffer, length);
}


}  // namespace

CAPFileSpecifier::CAPFileSpecifier() {
    path_[0] = L'\0';
    narrowPath_[0] = '\0';
    pathCopy_[0] = L'\0';
}

CAPFileSpecifier::CAPFileSpecifier(const wchar_t* path) : CAPFileSpecifier() { *this = path; }

CAPFileSpecifier::CAPFileSpecifier(ASPathName hostPath) : CAPFileSpecifier() { *this = hostPath; }

CAPFileSpecifier::~CAPFileSpecifier() {
    VX_TRY { ReleaseHostPath(); }
    VX_CATCH(kSite, kDestroyFunction)
}

void CAPFileSpecifier::ReleaseHostPath() {
    // Handed out of the holder first: a release that fails must not leave a path to release again.
    if (ASPathName path = hostPath_.Release()) VxReleasePath(nullptr, path);
}

bool CAPFileSpecifier::Assign(const wchar_t* text) {
    path_[0] = L'\0';
    if (!text) return true;
    size_t length = wcslen(text);
    if (length >= kCAPMaxPath) return false;
    wmemcpy(path_, text, length + 1);
    return true;
}

CAPFileSpecifier& CAPFileSpecifier::operator=(const wchar_t* path) {
    if (!Assign(path)) CAPError::Instance().AddError(IDS_FILESPEC_ASSIGN);
    return *this;
}

CAPFileSpecifier& CAPFileSpecifier::operator=(ASPathName hostPath) {
    bool assigned = false;
    ASText text = nullptr;
    VX_TRY {
        if (hostPath) {
            text = VxTextNew();
            ASInt32 code = VxDisplayText(nullptr, hostPath, text);
            if (code != 0) VxRaise(code, kSite, kAssignRaiseLine, kAssignFunction);
            assigned = Assign(VxTextGetWide(text));
        }
    }
    VX_CATCH(kSite, kAssignFunction)
    if (text) {
        VX_TRY { VxTextDestroy(text); }
        VX_CATCH(kSite, kAssignFunction)
    }
    if (!assigned) {
        path_[0] = L'\0';
        CAPError::Instance().AddError(IDS_FILESPEC_ASSIGN);
    }
    return *this;
}

CAPFileSpecifier::operator CVxASPathName*() {
    VX_TRY {
        ReleaseHostPath();
        hostPath_.Reset(VxPathFromWide(path_));
        if (!hostPath_) VxRaise(kErrNoHostPath, kSite, kConvertRaiseLine, kConvertFunction);
        return static_cast<CVxASPathName*>(hostPath_.get());
    }
    VX_CATCH(kSite, kConvertFunction)
    CAPError::Instance().AddError(IDS_FILESPEC_CONVERT);
    return nullptr;
}

const wchar_t* CAPFileSpecifier::GetPath() const {
    wmemcpy(pathCopy_, path_, wcslen(path_) + 1);
    return pathCopy_;
}

const char* CAPFileSpecifier::GetNarrowPath() const {
    if (!WideCharToMultiByte(CP_ACP, 0, path_, -1, narrowPath_, kCAPMaxPath, nullptr, nullptr)) {
        DWORD error = GetLastError();
        narrowPath_[0] = '\0';
        CAPError::Instance().AddErrorWithValue(error, IDS_FILESPEC_CONVERT);
    }
    return narrowPath_;
}

bool CAPFileSpecifier::operator==(const CAPFileSpecifier& other) const {
    auto comparable = [](const CAPFileSpecifier& specifier) {
        std::wstring full = FullPath(specifier.path_, kCAPMaxPath - 1);
        if (!full.empty() && specifier.IsFolder() && full.back() == L'\\') full.pop_back();
        return full;
    };
    std::wstring mine = comparable(*this);
    if (mine.empty()) return false;
    std::wstring theirs = comparable(other);
    return !theirs.empty() && CAPSameTextIgnoringCase(mine, theirs);
}

bool CAPFileSpecifier::GetAbsolutePath(CAPFileSpecifier& out) const {
    std::wstring full = FullPath(path_, kCAPMaxPath);
    if (full.empty()) {
        CAPError::Instance().AddError(IDS_FILESPEC_ABSOLUTE);
        return false;
    }
    out = full.c_str();
    return true;
}

bool CAPFileSpecifier::GetFileName(wchar_t* out, size_t outSize) const {
    CAPFileSpecifier absolute;
    if (GetAbsolutePath(absolute)) {
        std::wstring full = absolute.path_;
        if (EndsWithSeparator(full)) full.pop_back();
        NameParts parts = SplitLastComponent(full.c_str());
        if ((!parts.name.empty() || !parts.extension.empty()) && CopyOut(parts.name + parts.extension, out, outSize))
            return true;
    }
    CAPError::Instance().AddError(IDS_FILESPEC_NAME);
    return false;
}

bool CAPFileSpecifier::GetExtension(wchar_t* out, size_t outSize) const {
    if (IsFolder() || !CopyOut(SplitLastComponent(path_).extension, out, outSize)) {
        CAPError::Instance().AddError(IDS_FILESPEC_EXTENSION);
        return false;
    }
    return true;
}

bool CAPFileSpecifier::GetSize(DWORD* low, DWORD* high) const {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path_, GetFileExInfoStandard, &data)) {
        CAPError::Instance().AddErrorWithValue(GetLastError(), IDS_FILESPEC_SIZE);
        return false;
    }
    if (low) *low = data.nFileSizeLow;
    if (high) *high = data.nFileSizeHigh;
    return true;
}

bool CAPFileSpecifier::IsFolder() const {
    DWORD attributes = GetFileAttributesW(path_);
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    NameParts parts = SplitLastComponent(path_);
    return parts.name.empty() || parts.extension.empty();
}

bool CAPFileSpecifier::IsFile() const {
    DWORD attributes = GetFileAttributesW(path_);
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    NameParts parts = SplitLastComponent(path_);
    return !parts.name.empty() || !parts.extension.empty();
}

bool CAPFileSpecifier::Copy(const CAPFileSpecifier& target, bool overwrite, bool recursive,
                            bool continueOnError) const {
    if (IsFile()) return CopyFileTo(target, overwrite);
    if (IsFolder()) return CopyFolderTo(target, overwrite, recursive, continueOnError);
    CAPError::Instance().AddError(IDS_FILESPEC_GENERAL);
    return false;
}

// The path a copy of this one takes: `target` itself, or with `intoFolder` this path's last
// component inside `target`; false, with the error recorded, when there is no name or the path is
// too long. The error texts take the paths as wide text: the string table's "%s" is read by the
// wide formatter.
bool CAPFileSpecifier::CopyTarget(const CAPFileSpecifier& target, bool intoFolder, std::wstring* destination) const {
    *destination = target.path_;
    if (intoFolder) {
        wchar_t name[kCAPMaxPath];
        if (!GetFileName(name, kCAPMaxPath)) {
            CAPError::Instance().AddError(IDS_FILESPEC_COPY, path_, target.path_);
            return false;
        }
        if (!EndsWithSeparator(*destination)) *destination += L'\\';
        *destination += name;
    }
    if (destination->size() >= kCAPMaxPath) {
        CAPError::Instance().AddErrorWithValue(ERROR_FILENAME_EXCED_RANGE, IDS_FILESPEC_COPY, path_,
                                               destination->c_str());
        return false;
    }
    return true;
}

bool CAPFileSpecifier::CopyFileTo(const CAPFileSpecifier& target, bool overwrite) const {
    std::wstring destination;
    if (!CopyTarget(target, target.IsFolder(), &destination)) return false;
    if (!CopyFileW(path_, destination.c_str(), overwrite ? FALSE : TRUE)) {
        CAPError::Instance().AddErrorWithValue(GetLastError(), IDS_FILESPEC_COPY, path_, destination.c_str());
        return false;
    }
    return true;
}

// The folder a copy of `source` (a full path, no trailing separator) makes in `target`, created if
// it is not there; empty, with the error recorded, when the copy cannot be made.
std::wstring CAPFileSpecifier::MakeFolderCopy(const CAPFileSpecifier& target, const std::wstring& source) const {
    CAPError& errors = CAPError::Instance();
    std::wstring destination;
    if (!CopyTarget(target, true, &destination)) return std::wstring();

    // A copy into the folder itself or below it would list its own copy while making it.
    std::wstring inside = FullPath(destination.c_str(), kCAPMaxPath);
    if (source.empty() || inside.empty() ||
        (inside.size() > source.size() && IsSeparator(inside[source.size()]) &&
         CAPSameTextIgnoringCase(inside.substr(0, source.size()), source))) {
        errors.AddError(IDS_FILESPEC_COPY, path_, destination.c_str());
        return std::wstring();
    }

    if (!CreateDirectoryW(destination.c_str(), nullptr)) {
        DWORD error = GetLastError();
        DWORD attributes = GetFileAttributesW(destination.c_str());
        if (error != ERROR_ALREADY_EXISTS || attributes == INVALID_FILE_ATTRIBUTES ||
            !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            errors.AddErrorWithValue(error, IDS_FILESPEC_COPY, path_, destination.c_str());
            return std::wstring();
        }
    }
    return destination;
}

bool CAPFileSpecifier::CopyFolderTo(const CAPFileSpecifier& target, bool overwrite, bool recursive,
                                    bool continueOnError) const {
    CAPError& errors = CAPError::Instance();
    std::wstring source = FullPath(path_, kCAPMaxPath);
    if (!source.empty() && EndsWithSeparator(source)) source.pop_back();
    std::wstring destination = MakeFolderCopy(target, source);
    if (destination.empty()) return false;
    if (!recursive) return true;

    CAPFileSpecifier destinationFolder(destination.c_str());
    std::wstring pattern = source + L"\\*";
    WIN32_FIND_DATAW found;
    CAPFindHandle find(FindFirstFileW(pattern.c_str(), &found));
    if (!find.valid()) {
        errors.AddErrorWithValue(GetLastError(), IDS_FILESPEC_COPY_CONTENT, path_);
        return false;
    }
    bool allCopied = true;
    do {
        if (!wcscmp(found.cFileName, L".") || !wcscmp(found.cFileName, L"..")) continue;
        std::wstring childPath = source + L"\\" + found.cFileName;
        bool copied = false;
        if (childPath.size() >= kCAPMaxPath) {
            errors.AddErrorWithValue(ERROR_FILENAME_EXCED_RANGE, IDS_FILESPEC_COPY_CONTENT, path_);
        } else {
            CAPFileSpecifier child(childPath.c_str());
            copied = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                         ? child.CopyFolderTo(destinationFolder, overwrite, recursive, continueOnError)
                         : child.CopyFileTo(destinationFolder, overwrite);
        }
        if (!copied) {
            allCopied = false;
            if (!continueOnError) return false;
        }
    } while (FindNextFileW(find.get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        errors.AddErrorWithValue(GetLastError(), IDS_FILESPEC_COPY_CONTENT, path_);
        return false;
    }
    return allCopied;
}
