// The modal dialogs of the open and import commands.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tessera {

struct BrowseRow {
    size_t session = 0;
    std::wstring database;
    long number = 0;
    long version = 0;
    std::wstring description;
    std::wstring extension;
    std::wstring lockedBy;
};

// S_OK with the chosen row indices, S_FALSE when cancelled or nothing was chosen, a failure when the
// dialog could not be shown.
HRESULT RunBrowseDialog(HWND owner, const std::vector<BrowseRow>& rows, bool multiSelect,
                        std::vector<size_t>* chosen);

struct ImportDialogState {
    std::wstring description;
    std::wstring docType;               // empty: none
    std::vector<std::wstring> targets;  // "server: database"
    size_t target = 0;
};

// S_OK with the state updated, S_FALSE when cancelled.
HRESULT RunImportDialog(HWND owner, ImportDialogState* state);

// The application types a document type can name, in the order the import dialog offers them.
const std::vector<std::wstring>& KnownAppTypes();

}  // namespace tessera
