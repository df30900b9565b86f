// CKeptCopies.h - the copies of the workspace that hold an edit the DMS has not received ("kept on
// this computer"), from this session and earlier ones, as they are when listed: each with its DMS
// identity from the record file, what its owed mark says, and when it was last saved. A copy this
// host has open (or tracks) is not listed: closing it checks it in.
//
// While the list lives it holds the claim of every folder it lists, so that no other host's
// recovery, clearing or reopen changes an entry behind the user's back; a folder that another
// running host claims is listed as open elsewhere, and nothing may be done with it here. Main
// thread only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "documents/CDocumentManager.h"
#include "documents/CFolderClaim.h"
#include "documents/FileDataRecord.h"

struct KeptCopy {
    std::wstring copy;        // the copy's full path
    FileDataRecord record;    // its DMS document
    std::wstring name;        // the document's name for the user; the copy's file name when the mark has none
    std::wstring reason;      // the last refused check-in's message; empty when none was kept
    FILETIME saved = {};      // the copy's last write
    bool openElsewhere = false;
};

class CKeptCopies {
public:
    explicit CKeptCopies(CDocumentManager& documents) : documents_(documents) {}
    // Lets go of the claims it took; the copies stay as they are.
    ~CKeptCopies() = default;
    CKeptCopies(const CKeptCopies&) = delete;
    CKeptCopies& operator=(const CKeptCopies&) = delete;

    // The list as the workspace has it now, by document number and version.
    void Collect();
    const std::vector<KeptCopy>& Entries() const { return entries_; }
    // The entry of that copy; null when it is not (or no longer) listed.
    const KeptCopy* Find(const std::wstring& copy) const;
    // The copy is done with (the DMS has its edit, or the user gave it up): copy, record file and
    // owed mark go with the folder, under its claim, and the entry leaves the list. A copy that some
    // process holds open stays with it; its record file and mark go all the same.
    void Delete(const std::wstring& copy);
    // The copy is to be opened in the host: the registry keeps its folder's claim, where the
    // reopened copy finds it, and the entry leaves the list.
    void HandOver(const std::wstring& copy);
    // A refused check-in: its message beside the mark and in the entry.
    void NoteRefusal(const std::wstring& copy, const std::wstring& reason);

private:
    struct Entry {
        KeptCopy copy;
        CFolderClaim claim;  // unheld when the registry holds it (this session's) or another host does
    };
    std::vector<Entry>::iterator At(const std::wstring& copy);
    // The folder's claim, from the list or out of the registry's keeping.
    CFolderClaim TakeClaim(Entry& entry);
    void Publish();

    CDocumentManager& documents_;
    std::vector<Entry> listed_;
    std::vector<KeptCopy> entries_;  // as listed_, for the window
};
