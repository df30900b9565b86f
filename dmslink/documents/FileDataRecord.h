// FileDataRecord.h - the "\TSFile.dat" record beside a checked-out copy: the DMS identity of the copy.
// Pure logic (no system call), so that the format also builds natively for fuzzing.
//
// Layout, all integers little-endian, texts UTF-16LE without terminator:
//   number (int32), version (int32), L1 (uint32), file name (2*L1 bytes),
//   L2, database name, L3, server name.       Total 20 + 2*(L1+L2+L3) bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FileDataRecord {
    int32_t number = -1;
    int32_t version = -1;
    std::wstring name;      // the copy's file name, "%d_%d.%s"
    std::wstring database;
    std::wstring server;
};

enum : uint32_t { kMaxFileDataText = 260 };  // code units a reader accepts per text

enum class FileDataParse {
    Complete,   // every field read
    Truncated,  // the bytes end before the counts they announce
    TooLong,    // a count above kMaxFileDataText
};

// Fills the fields in order as far as the bytes reach (later fields keep what they held); bytes after
// the third text are not looked at.
FileDataParse ParseFileDataRecord(const uint8_t* bytes, size_t size, FileDataRecord* record);
std::string SerializeFileDataRecord(const FileDataRecord& record);

// A record a copy can be recognised by: complete, number and version not negative, file name and
// database named.
bool IsUsableFileData(FileDataParse parse, const FileDataRecord& record);

// A name read from a workspace file names a file only when it is one plain component inside its own
// folder: not empty, no separator, no drive or stream colon, not "." or "..", no control character
// or wildcard, and not a device name (CON, NUL, COM1, ...), with or without an extension.
bool IsPlainFileName(const std::wstring& name);
