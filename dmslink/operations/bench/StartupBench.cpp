// The start-up part of checkout_bench: the real plug-in with 100 configured servers (none logged in
// automatically) against the host's minimal plug-in, each loaded and initialised by a fresh host.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dms/TSPasswordCipher.h"
#include "tessera/StandIn.h"
#include "vxhost/Host.h"

namespace {

const wchar_t kKey[] = L"SOFTWARE\\Varnel\\Pro\\11.0\\Settings\\Tessera";

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void SetText(HKEY hive, const std::wstring& name, const std::wstring& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(hive, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(bytes));
    RegCloseKey(key);
}

std::wstring Numbered(const wchar_t* base, int n) {
    return n == 0 ? std::wstring(base) : std::wstring(base) + L"_" + std::to_wstring(n);
}

// A folder holding a copy of one plug-in, for a host to load alone.
std::wstring FolderWith(const std::wstring& work, const std::wstring& plugin, const wchar_t* name) {
    std::wstring folder = work + L"\\" + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    CopyFileW(plugin.c_str(), (folder + L"\\" + plugin.substr(plugin.find_last_of(L'\\') + 1)).c_str(), FALSE);
    return folder;
}

double TimeLoad(const std::wstring& folder, const std::wstring& log) {
    vxhost::HostOptions options;
    options.logPath = log;
    auto host = std::make_unique<vxhost::Host>(options);
    double start = Now();
    host->LoadPluginFolder(folder);
    double seconds = Now() - start;
    host->Shutdown();
    return seconds;
}

double MedianLoad(const std::wstring& folder, const std::wstring& log) {
    constexpr int kRuns = 5;
    std::vector<double> runs;
    runs.reserve(kRuns);
    for (int i = 0; i < kRuns; ++i) runs.push_back(TimeLoad(folder, log));
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

}  // namespace

int RunStartup(const std::wstring& work, const std::wstring& bin) {
    CoInitialize(nullptr);
    TesseraRegisterClassObjects();
    SetText(HKEY_LOCAL_MACHINE, L"TesseraEnableOpen", L"1");
    SetText(HKEY_LOCAL_MACHINE, L"TesseraEnableSave", L"1");
    for (int n = 0; n < 100; ++n) {
        SetText(HKEY_CURRENT_USER, Numbered(L"TesseraServer", n), L"SRV" + std::to_wstring(n));
        SetText(HKEY_CURRENT_USER, Numbered(L"TesseraUserName", n), L"user" + std::to_wstring(n));
        SetText(HKEY_CURRENT_USER, Numbered(L"TesseraPassword", n), TSPasswordCipher::EncryptPassword(L"secret"));
        SetText(HKEY_CURRENT_USER, Numbered(L"TesseraTrustedLogin", n), L"0");
        SetText(HKEY_CURRENT_USER, Numbered(L"TesseraAutoConnect", n), L"0");
    }
    std::wstring plugin = FolderWith(work, bin + L"\\plugins\\dmslink.dll", L"startup-dmslink");
    std::wstring minimal = FolderWith(work, bin + L"\\hostplugins\\vxtestplugin.dll", L"startup-minimal");
    double withServers = MedianLoad(plugin, work + L"\\startup.log");
    double baseline = MedianLoad(minimal, work + L"\\startup.log");
    std::printf("\nstart-up (load and initialise, median of 5): dmslink with 100 servers %.3f s, minimal plug-in "
                "%.3f s, ratio %.1f\n",
                withServers, baseline, withServers / baseline);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    TesseraRevokeClassObjects();
    CoUninitialize();
    return 0;
}
