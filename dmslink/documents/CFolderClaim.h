// CFolderClaim.h - the one owner of a folder of the temporary workspace.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "Utilities/CAPHandles.h"

// Every folder of the workspace belongs to one host from its creation until it is gone: the host
// that holds its claim file "TSClaim.dat" open with delete access that no one else may share. The
// system closes the handle when its process dies, which hands a crashed host's folders to the next
// host. A host deletes, checks in or reuses a folder only under its claim; the file itself means
// nothing once no one holds it.
class CFolderClaim {
public:
    CFolderClaim() = default;
    ~CFolderClaim() { Release(); }
    CFolderClaim(CFolderClaim&&) noexcept = default;
    CFolderClaim& operator=(CFolderClaim&& other) noexcept;
    CFolderClaim(const CFolderClaim&) = delete;
    CFolderClaim& operator=(const CFolderClaim&) = delete;

    // The claim of an existing folder ("<root>\VRL<n>", a final backslash allowed), and of its record
    // file when it has one (an earlier build's host holds only that); false when a living host owns
    // the folder or it cannot be claimed.
    bool Take(const std::wstring& folder);
    // A folder made now: false when it exists already (another host's) or its claim cannot be made.
    bool Create(const std::wstring& folder);
    bool Held() const { return static_cast<bool>(file_); }
    const std::wstring& Folder() const { return folder_; }
    // Lets go of the folder, which stays; the claim file goes.
    void Release();
    // The record file's own claim (its tracked record's) takes over from here.
    void LetGoOfRecordFile() { record_.Reset(); }
    // Deletes what the folder holds under the claim, every file through an exclusive handle of its
    // own, so that a file any process holds open (or one that is a link) keeps all of it: false then,
    // with nothing deleted and the claim still held. Then the claim file and the folder.
    bool DeleteFolder();
    // The whole tree (links removed, never followed), then the claim file and the folder.
    void DeleteTree();
    // Lets go, and removes the folder when nothing else is left in it.
    void DeleteIfEmpty();
    // True when the folder holds nothing but its claim file (or is gone).
    bool HoldsNothing() const;

private:
    void DisposeClaimFile();

    std::wstring folder_;  // without a final backslash
    CAPHandle file_;       // the claim file
    CAPHandle record_;     // the record file, when the folder had one as it was taken
};
bool IsClaimFileName(const std::wstring& name);
// Calls `visit` with the name of every file of the folder but its claim file; false when the folder
// cannot be read, holds a sub-folder or a link, or `visit` answers false (which ends the walk).
bool VisitPlainFiles(const std::wstring& folder, const std::function<bool(const std::wstring& name)>& visit);
