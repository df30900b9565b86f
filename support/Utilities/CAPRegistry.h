// CAPRegistry.h - reading a registry string value by the one rule of CAPRegistryText.h.
#pragma once

#include <windows.h>

#include <string>

// The value `name` of an open key; false (with *text untouched) when it is missing or breaks the
// rule. maxChars counts the terminator.
bool CAPReadRegistryText(HKEY key, const wchar_t* name, DWORD maxChars, std::wstring* text);
