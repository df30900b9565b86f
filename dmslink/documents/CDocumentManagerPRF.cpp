// DeskClient PRF files: the text file the DMS desktop client writes beside a document it opened.
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Files/CAPPathText.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxTrace.h"
#include "documents/CDocumentManager.h"
#include "documents/PrfText.h"
#include "documents/TempWorkspace.h"

namespace {

const char kSite[] = "CDocumentManager";

std::wstring FromThreadAnsi(const char* bytes, size_t size) {
    if (!size) return std::wstring();
    int length = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, static_cast<int>(size), nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, static_cast<int>(size), &text[0], length);
    return text;
}

// The first kMaxPrfBytes bytes, however many calls the system needs for them.
std::vector<uint8_t> ReadHead(const std::wstring& prf) {
    CAPHandle file(CreateFileW(prf.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("PRF file cannot be opened");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) throw std::runtime_error("PRF file size unknown");
    DWORD wanted = size.QuadPart < static_cast<LONGLONG>(kMaxPrfBytes) ? static_cast<DWORD>(size.QuadPart)
                                                                       : static_cast<DWORD>(kMaxPrfBytes);
    std::vector<uint8_t> bytes(wanted);
    DWORD total = 0;
    while (total < wanted) {
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + total, wanted - total, &read, nullptr))
            throw std::runtime_error("PRF file cannot be read");
        if (read == 0) break;
        total += read;
    }
    bytes.resize(total);
    return bytes;
}

bool IsTheDocument(const std::wstring& file, const void* document) {
    return CAPSameTextIgnoringCase(file, *static_cast<const std::wstring*>(document));
}

}  // namespace

std::wstring CDocumentManager::GetPRFFileName(const std::wstring& path) {
    VX_TRY {
        if (path.empty()) return std::wstring();
        std::wstring name = CAPNameOf(path);
        size_t dot = name.rfind(L'.');
        if (dot != std::wstring::npos) name.resize(dot);
        return CAPFolderOf(path) + VxFormat(L"\\%s.PRF", name.c_str());
    }
    VX_CATCH(kSite, "CDocumentManager::GetPRFFileName")
    return std::wstring();
}

bool CDocumentManager::GetDeskClientDataDetails(const std::wstring& path, long* number, long* version,
                                                std::wstring* name, std::wstring* database, std::wstring* server) {
    VX_TRY {
        std::wstring prf = GetPRFFileName(path);
        if (!CAPPathExists(prf)) return false;
        VxTrace("prf file found:", prf.c_str());
        PrfRequest request{number, version, name, database, server};
        if (number) *number = -1;
        if (version) *version = -1;
        if (name) name->clear();
        if (database) database->clear();
        VX_TRY {
            std::vector<uint8_t> bytes = ReadHead(prf);
            std::wstring text = DecodePrfText(bytes.data(), bytes.size(), FromThreadAnsi);
            VxTraceLine("prf file details:");
            VxTraceLine(VxToAnsi(text.c_str()).c_str());
            if (!ParsePrfText(text, IsTheDocument, &path, request)) return false;
        }
        VX_CATCH(kSite, "CDocumentManager::GetDeskClientDataDetails")
        return IsUsablePrf(request);
    }
    VX_CATCH(kSite, "CDocumentManager::GetDeskClientDataDetails")
    return false;
}

bool CDocumentManager::CheckDeskClientData(PDDoc pdDoc, const std::wstring& path, const DocumentLookup& lookup) {
    VX_TRY {
        if (FindASPathName(path)) return false;
        long number = -1;
        long version = -1;
        std::wstring name, database, server;
        if (!GetDeskClientDataDetails(path, &number, &version, &name, &database, &server) || !lookup) return false;
        return AddRecognised(pdDoc, lookup(server, database, number, version), path);
    }
    VX_CATCH(kSite, "CDocumentManager::CheckDeskClientData")
    return false;
}
