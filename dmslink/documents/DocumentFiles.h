// DocumentFiles.h - helpers shared by the registry, the workspace and the PRF reader: owned handles,
// path texts of any length and the file status trace lines.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "VarnelSDK.h"
#include "Utilities/CAPHandles.h"
#include "dms/TSManager.h"

namespace documents {

extern const char kSite[];  // "CDocumentManager"

using CFileHandle = CAPHandle;
using CFindHandle = CAPFindHandle;
using CHostPath = CAPHostPath;

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
