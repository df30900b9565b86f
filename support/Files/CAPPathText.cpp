#include "Files/CAPPathText.h"

#include <windows.h>

#include <vector>

#include "Files/CAPFileSpecifier.h"
#include "VxHFT.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

size_t LastSeparator(const std::wstring& path) {
    for (size_t i = path.size(); i > 0; i--)
        if (IsSeparator(path[i - 1])) return i - 1;
    return std::wstring::npos;
}

// Paths beyond the file specifier's bound compare by their absolute forms the same way.
std::wstring Comparable(const std::wstring& path) {
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> full(needed);
    DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return std::wstring();
    std::wstring form(full.data(), length);
    DWORD attributes = GetFileAttributesW(form.c_str());
    bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (folder && IsSeparator(form.back())) form.pop_back();
    return form;
}

}  // namespace

std::wstring CAPHostPathText(ASPathName path) {
    if (!path) return std::wstring();
    CAPHostText text(VxTextNew());
    if (!text) VxRaise(E_OUTOFMEMORY, "Files\\CAPPathText", __LINE__, "CAPHostPathText");
    ASInt32 result = VxDisplayText(nullptr, path, text.get());
    if (result != 0) VxRaise(result, "Files\\CAPPathText", __LINE__, "CAPHostPathText");
    const wchar_t* value = VxTextGetWide(text.get());
    return value ? std::wstring(value) : std::wstring();
}

// The default file system is asked for before a path exists: its release then never has to ask.
CAPHostPath CAPMakeHostPath(const std::wstring& text) {
    VxDefaultFileSys();
    return CAPHostPath(VxPathFromWide(text.c_str()));
}

CAPHostPath CAPFilePath(ASFile file) {
    VxDefaultFileSys();
    return CAPHostPath(VxFileGetPath(file));
}

bool CAPSamePath(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) return false;
    if (a.size() < kCAPMaxPath && b.size() < kCAPMaxPath) return CAPFileSpecifier(a.c_str()) == CAPFileSpecifier(b.c_str());
    std::wstring first = Comparable(a);
    return !first.empty() && CAPSameTextIgnoringCase(first, Comparable(b));
}

bool CAPSameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring CAPFolderOf(const std::wstring& path) {
    size_t separator = LastSeparator(path);
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

std::wstring CAPNameOf(const std::wstring& path) {
    size_t separator = LastSeparator(path);
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

bool CAPPathExists(const std::wstring& path) {
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
