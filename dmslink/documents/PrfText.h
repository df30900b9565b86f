// PrfText.h - the text of a DeskClient PRF file and the keys taken from it. Pure logic (no system
// call), so that the reader also builds natively for fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum : size_t { kMaxPrfBytes = 10240 };  // only the head of a longer file is read

// The file's head as text: UTF-16LE when it starts with FF FE (the mark stays as the first
// character, an odd last byte is dropped), otherwise the bytes in the thread's ANSI code page,
// converted by `ansi` (given the bytes, it answers their wide text).
std::wstring DecodePrfText(const uint8_t* bytes, size_t size, std::wstring (*ansi)(const char*, size_t));

// What is asked of a PRF text; a null output is not asked for.
struct PrfRequest {
    long* number = nullptr;
    long* version = nullptr;
    std::wstring* name = nullptr;
    std::wstring* database = nullptr;
    std::wstring* server = nullptr;
};

// Takes the keys in the order of the format: the FILE value, which `isDocument` must accept (the
// comparison with the document's path is the caller's), the DOCID position, then server, database,
// number, version and name as requested. False at the first refusal or the first key or line end
// that is missing; outputs already filled keep their values. The requested number and version start
// at -1, name and database empty.
bool ParsePrfText(const std::wstring& text, bool (*isDocument)(const std::wstring& file, const void* context),
                  const void* context, const PrfRequest& request);

// The requested values pass: no negative number or version, no empty name or database.
bool IsUsablePrf(const PrfRequest& request);
