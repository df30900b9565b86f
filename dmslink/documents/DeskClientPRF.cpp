// DeskClient PRF files: the text file the DMS desktop client writes beside a document it opened.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "VxApp.h"
#include "VxGuard.h"
#include "VxTrace.h"
#include "documents/CDocumentManager.h"
#include "documents/DocumentFiles.h"

using namespace documents;

namespace {

enum : DWORD { kMaxPrfBytes = 10240 };

// Reads the first kMaxPrfBytes bytes, however many calls the system needs for them.
std::vector<char> ReadHead(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) Fail("PRF file size unknown");
    DWORD wanted = size.QuadPart < kMaxPrfBytes ? static_cast<DWORD>(size.QuadPart) : kMaxPrfBytes;
    std::vector<char> bytes(wanted);
    DWORD total = 0;
    while (total < wanted) {
        DWORD read = 0;
        if (!ReadFile(file, bytes.data() + total, wanted - total, &read, nullptr)) Fail("PRF file cannot be read");
        if (read == 0) break;
        total += read;
    }
    bytes.resize(total);
    return bytes;
}

std::wstring DecodeText(const std::vector<char>& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::wstring text(bytes.size() / 2, L'\0');
        for (size_t i = 0; i < text.size(); i++)
            text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                           (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
        return text;
    }
    if (bytes.empty()) return std::wstring();
    int length = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], length);
    return text;
}

// The value after `key` (searched from `from`) up to the next CR LF; false when either is missing.
bool FindValue(const std::wstring& text, const wchar_t* key, size_t from, std::wstring* value) {
    size_t at = text.find(key, from);
    if (at == std::wstring::npos) return false;
    size_t start = at + wcslen(key);
    size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) return false;
    *value = text.substr(start, end - start);
    return true;
}

}  // namespace

std::wstring CDocumentManager::GetPRFFileName(ASPathName path) {
    VX_TRY {
        std::wstring text = PathText(path);
        if (text.empty()) return std::wstring();
        std::wstring name = NameOf(text);
        size_t dot = name.rfind(L'.');
        if (dot != std::wstring::npos) name.resize(dot);
        return FolderOf(text) + VxFormat(L"\\%s.PRF", name.c_str());
    }
    VX_CATCH(kSite, "CDocumentManager::GetPRFFileName")
    return std::wstring();
}

bool CDocumentManager::GetDeskClientDataDetails(ASPathName path, long* number, long* version, std::wstring* name,
                                                std::wstring* database, std::wstring* server) {
    VX_TRY {
        std::wstring prf = GetPRFFileName(path);
        if (!Exists(prf)) return false;
        std::wstring document = PathText(path);
        VxTrace("prf file found:", prf.c_str());
        if (number) *number = -1;
        if (version) *version = -1;
        if (name) name->clear();
        if (database) database->clear();

        VX_TRY {
            CFileHandle file(CreateFileW(prf.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file.valid()) Fail("PRF file cannot be opened");
            std::wstring text = DecodeText(ReadHead(file.get()));
            file.Reset();
            VxTraceLine("prf file details:");
            VxTraceLine(VxToAnsi(text.c_str()).c_str());

            std::wstring value;
            if (!FindValue(text, L"\r\nFILE=", 0, &value) || !SameTextIgnoringCase(value, document)) return false;
            size_t docId = text.find(L"\r\nDOCID=");
            if (docId == std::wstring::npos) return false;
            if (server) {
                size_t open = text.find(L"!session:", docId);
                if (open == std::wstring::npos) return false;
                size_t close = text.find(L":!", open + 1);
                if (close == std::wstring::npos) return false;
                size_t start = open + wcslen(L"!session:");
                *server = close > start ? text.substr(start, close - start) : std::wstring();
            }
            if (database && !FindValue(text, L"\r\nDB=", docId, database)) return false;
            if (number) {
                if (!FindValue(text, L"\r\nNUM=", docId, &value)) return false;
                *number = wcstol(value.c_str(), nullptr, 10);
            }
            if (version) {
                if (!FindValue(text, L"\r\nVER=", docId, &value)) return false;
                *version = wcstol(value.c_str(), nullptr, 10);
            }
            if (name) {
                if (!FindValue(text, L"\r\nDESCRIPTION=", docId, &value)) return false;
                *name = value + L".pdf";
            }
        }
        VX_CATCH(kSite, "CDocumentManager::GetDeskClientDataDetails")
        return !(number && *number < 0) && !(version && *version < 0) && !(name && name->empty()) &&
               !(database && database->empty());
    }
    VX_CATCH(kSite, "CDocumentManager::GetDeskClientDataDetails")
    return false;
}

bool CDocumentManager::CheckDeskClientData(PDDoc pdDoc, ASPathName path) {
    VX_TRY {
        if (FindASPathName(path)) return false;
        long number = -1;
        long version = -1;
        std::wstring name, database, server;
        if (!GetDeskClientDataDetails(path, &number, &version, &name, &database, &server)) return false;
        if (!gTSManager) return false;
        DmsDocumentPtr document = gTSManager->GetDocument(server, database, number, version);
        if (!document) return false;
        return AddDocument(pdDoc, std::move(document), path, true) != nullptr;
    }
    VX_CATCH(kSite, "CDocumentManager::CheckDeskClientData")
    return false;
}
