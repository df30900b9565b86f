// CAPRegistryText.h - the one rule by which the plug-in reads a registry string value. Pure logic
// (no system call), so that it also builds natively for fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum : uint32_t { kCAPRegSz = 1, kCAPRegExpandSz = 2 };

// `bytes` as the registry returned them for a value of `type`: a string (REG_SZ, or REG_EXPAND_SZ
// taken unexpanded) of UTF-16LE code units, an even byte count of at most maxChars code units
// including its terminator, which must be the last one. Zero bytes read as the empty text. Anything
// else is false, with *text untouched. The text ends at its first NUL.
bool CAPDecodeRegistryText(uint32_t type, const uint8_t* bytes, size_t size, size_t maxChars, std::wstring* text);
