// CAPLongPaths.h - paths of any length, and entries that are what their path says. A link, junction
// or other reparse point is never followed: the folder walks here remove one or leave it alone.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The "\\?\" form of a path (absolute, any length); the path as it stands when it cannot be made.
std::wstring CAPLongForm(const std::wstring& path);
// The path names an entry of its own: it exists, is no reparse point, and resolves to itself (not
// through a link to somewhere else).
bool IsOwnEntry(const std::wstring& path);
// The same for an entry already open: the handle is the entry the path names. With `mustResolve`,
// an entry whose final path the system cannot tell does not count.
bool CAPIsEntryOf(HANDLE entry, const std::wstring& path, bool mustResolve);
// Folder names directly below a folder, without "." and "..".
std::vector<std::wstring> SubFolders(const std::wstring& folder);
// The folder and everything in it, of any depth and path length. Links, junctions and other reparse
// points inside are removed, never followed.
void DeleteFolderTree(const std::wstring& folder);
