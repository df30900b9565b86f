#include "VxApp.h"

#include <stdarg.h>
#include <stdio.h>

#include <vector>

// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp): the linker's name for the module base
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {
HINSTANCE ThisModule() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

CVxModuleState sState = {ThisModule(), ThisModule()};
thread_local CVxModuleState* tCurrent = nullptr;
CWinApp* sApp = nullptr;
}  // namespace

CVxModuleState* VxModuleState() { return &sState; }
CVxModuleState* VxCurrentModuleState() { return tCurrent ? tCurrent : &sState; }

CVxManageState::CVxManageState() : previous_(tCurrent) { tCurrent = &sState; }
CVxManageState::~CVxManageState() { tCurrent = previous_; }

HINSTANCE VxResourceHandle() {
    HINSTANCE resource = VxCurrentModuleState()->resource;
    return resource ? resource : ThisModule();
}

void VxSetResourceHandle(HINSTANCE module) { sState.resource = module ? module : ThisModule(); }

std::wstring VxLoadString(UINT id) {
    const wchar_t* text = nullptr;
    int length = LoadStringW(VxResourceHandle(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

std::wstring VxFormatV(const wchar_t* format, va_list args) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int written = _vsnwprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (written >= 0 && static_cast<size_t>(written) < buffer.size()) return std::wstring(buffer.data(), written);
        if (buffer.size() > (1u << 20)) return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

// NOLINTNEXTLINE(cert-dcl50-cpp): printf-style by design, formats through _vsnwprintf (VxFormatV)
std::wstring VxFormat(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = VxFormatV(format, args);
    va_end(args);
    return text;
}

// NOLINTNEXTLINE(cert-dcl50-cpp): the string table's texts are printf formats, formatted by VxFormatV
std::wstring VxFormatString(UINT id, ...) {
    std::wstring format = VxLoadString(id);
    va_list args;
    va_start(args, id);
    std::wstring text = VxFormatV(format.c_str(), args);
    va_end(args);
    return text;
}

// NOLINTNEXTLINE(cert-dcl50-cpp): printf-style by design, formats through _vsnprintf
std::string VxFormatA(const char* format, ...) {
    std::vector<char> buffer(256);
    for (;;) {
        va_list args;
        va_start(args, format);
        int written = _vsnprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (written >= 0 && static_cast<size_t>(written) < buffer.size()) return std::string(buffer.data(), written);
        if (buffer.size() > (1u << 20)) return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

std::string VxToAnsi(const wchar_t* text) {
    if (!text || !*text) return std::string();
    int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

std::wstring VxFromAnsi(const char* text, int length) {
    if (!text || length == 0) return std::wstring();
    int size = MultiByteToWideChar(CP_THREAD_ACP, 0, text, length, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, text, length, &out[0], size);
    if (length < 0) out.resize(static_cast<size_t>(size - 1));
    return out;
}

CWinApp::CWinApp(const wchar_t* appName) noexcept : m_pszAppName(appName) { sApp = this; }
CWinApp::~CWinApp() {
    if (sApp == this) sApp = nullptr;
}
BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }

CWinApp* VxGetApp() { return sApp; }
