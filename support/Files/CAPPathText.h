// CAPPathText.h - paths as the plug-in carries them inside: wide text. A host path is turned into
// text once, where it enters the plug-in, and back into a host path only where one leaves it.
#pragma once

#include <string>

#include "Utilities/CAPHandles.h"
#include "VarnelSDK.h"

// The display text of a host path, of any length; empty for a null path. Raises the host's error
// when the host cannot give it.
std::wstring CAPHostPathText(ASPathName path);
// A new host path (default file system, "Wstring" type) for the text; none when the host cannot make one.
CAPHostPath CAPMakeHostPath(const std::wstring& text);
// The path of an open file, released in the default file system.
CAPHostPath CAPFilePath(ASFile file);

// The same file: absolute forms equal without regard to case, a trailing backslash of an existing
// folder not counted. False when either is empty.
bool CAPSamePath(const std::wstring& a, const std::wstring& b);
bool CAPSameTextIgnoringCase(const std::wstring& a, const std::wstring& b);

// Everything before the last separator ("C:\a\b.pdf" -> "C:\a"); empty when there is none.
std::wstring CAPFolderOf(const std::wstring& path);
// Everything after the last separator.
std::wstring CAPNameOf(const std::wstring& path);
bool CAPPathExists(const std::wstring& path);
