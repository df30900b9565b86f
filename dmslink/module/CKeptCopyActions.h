// CKeptCopyActions.h - "Kept on this computer": the window over the workspace's kept copies, what its
// buttons do with the DMS operations of the rest of the plug-in (every DMS call behind the progress
// dialog, every failure told to the user), and the start-up's word about the copies its recovery
// left. The window is one DMS operation (Boundary.h) for as long as it is open: its actions run
// inside it, one at a time. Main thread only.
#pragma once

#include <string>
#include <vector>

#include "dialogs/CKeptCopiesDlg.h"
#include "dms/TSManager.h"
#include "documents/CDocumentManager.h"
#include "documents/CKeptCopies.h"

class CKeptCopyActions : public IKeptCopyActions {
public:
    CKeptCopyActions(TSManager& manager, CKeptCopies& copies) : manager_(manager), copies_(copies) {}

    // As a close does: a check-in behind the progress dialog; the copy, its record file and its
    // mark go once it succeeds, which also releases the lock. A refusal's message is kept.
    bool CheckIn(const KeptCopy& entry) override;
    // The DMS's import, as Save to Tessera, for a document the DMS no longer takes: the new document
    // receives the copy (checked in), and only then does the copy go and the old lock with it, where
    // the DMS still has the old document.
    bool SaveAsNew(const KeptCopy& entry) override;
    // The lock released where the DMS still has the document, then the copy deleted. Nothing goes
    // while the DMS cannot be asked: its lock would stay for good.
    bool Discard(const KeptCopy& entry) override;
    // The system's file browser at the copy.
    void ShowInFolder(const KeptCopy& entry) override;

private:
    TSManager& manager_;
    CKeptCopies& copies_;
};

// The window, modal to the host's main window, over the kept copies as they are now. Answers the
// copies the user chose to open; the registry keeps their folders' claims for the host's open.
std::vector<std::wstring> ShowKeptCopies(TSManager& manager, CDocumentManager& documents);
// After the start-up recovery: one alert with the number of kept copies it left, when there are any.
void TellKeptCopiesAtStart(CDocumentManager& documents);
