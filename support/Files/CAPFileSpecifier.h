// CAPFileSpecifier.h - one file-system path as a bounded wide string, with conversions to and from
// host path objects, case-insensitive equality and the file questions the plug-in asks.
//
// No operation throws. Failures answer false, an empty path or null, and add a record to
// CAPError::Instance(); host errors are also logged as an exception block.
#pragma once

#include <windows.h>

#include <string>

#include "Utilities/CAPHandles.h"
#include "VarnelSDK.h"

// The host's path type as this class names it; a host path (ASPathName) is a pointer to one.
class CVxASPathName;

enum { kCAPMaxPath = MAX_PATH };  // buffer size; a path holds at most kCAPMaxPath - 1 characters

class CAPFileSpecifier {
public:
    CAPFileSpecifier();
    explicit CAPFileSpecifier(const wchar_t* path);
    explicit CAPFileSpecifier(ASPathName hostPath);
    virtual ~CAPFileSpecifier();  // releases the host path made by the conversion, if any

    // Owns a host path: never copied.
    CAPFileSpecifier(const CAPFileSpecifier&) = delete;
    CAPFileSpecifier& operator=(const CAPFileSpecifier&) = delete;

    // A text of kCAPMaxPath or more characters leaves the path empty and adds error 18031.
    CAPFileSpecifier& operator=(const wchar_t* path);
    // The path becomes the host path's display text; any failure empties it and adds error 18031.
    CAPFileSpecifier& operator=(ASPathName hostPath);

    // A host path made from the path, owned by this specifier and replacing (releasing) the one made
    // before; null with error 18032 when the host cannot make one.
    operator CVxASPathName*();
    ASPathName ToHostPath() { return static_cast<CVxASPathName*>(*this); }

    const wchar_t* GetPath() const;        // a copy of the path, valid until the next call
    const char* GetNarrowPath() const;     // the path in the system ANSI code page
    bool IsEmpty() const { return path_[0] == L'\0'; }

    // Same absolute path ignoring case; a trailing backslash of a folder does not count.
    bool operator==(const CAPFileSpecifier& other) const;
    bool operator!=(const CAPFileSpecifier& other) const { return !(*this == other); }

    bool GetAbsolutePath(CAPFileSpecifier& out) const;
    // Name with extension, of the last component (a trailing separator is ignored).
    bool GetFileName(wchar_t* out, size_t outSize) const;
    // Extension with its dot, or empty; false (error 18048) for a folder.
    bool GetExtension(wchar_t* out, size_t outSize) const;
    bool GetSize(DWORD* low, DWORD* high) const;

    // For a path that does not exist, the answers come from its form: C:\x\report is a folder,
    // C:\x\report.pdf a file.
    bool IsFolder() const;
    bool IsFile() const;

    // A file is copied into `target`, or into the folder `target` under its own name. A folder is
    // copied as a new folder under `target`; with `recursive` its content goes along, and with
    // `continueOnError` a failing entry does not stop the others (the result is still false).
    bool Copy(const CAPFileSpecifier& target, bool overwrite, bool recursive, bool continueOnError) const;

private:
    bool Assign(const wchar_t* text);
    bool CopyTarget(const CAPFileSpecifier& target, bool intoFolder, std::wstring* destination) const;
    bool CopyFileTo(const CAPFileSpecifier& target, bool overwrite) const;
    bool CopyFolderTo(const CAPFileSpecifier& target, bool overwrite, bool recursive, bool continueOnError) const;
    std::wstring MakeFolderCopy(const CAPFileSpecifier& target, const std::wstring& source) const;
    void ReleaseHostPath();

    wchar_t path_[kCAPMaxPath];
    mutable char narrowPath_[kCAPMaxPath];
    mutable wchar_t pathCopy_[kCAPMaxPath];
    CAPHostPath hostPath_;
};
