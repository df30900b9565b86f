// checkout_bench: times a check-out (OpenDocuments) and a check-in (CheckinDocument) of documents of
// 1 MB and 100 MB against the DMS stand-in, and compares each with CopyFileW copies of the same bytes
// made in the same run. Prints ratios; asserts nothing. Needs a display (dialogs are real).
#include <windows.h>

#include <TesseraDMS.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "VxHFT.h"
#include "Files/CAPPathText.h"
#include "VxPlugin.h"
#include "documents/CDocumentManager.h"
#include "documents/TempWorkspace.h"
#include "startup/DocumentLifecycle.h"
#include "startup/PluginState.h"
#include "vxhost/HostFixture.h"
#include "operations/CProgressDlg.h"
#include "operations/TSOperations.h"
#include "tessera/StandIn.h"
#include "vxhost/Host.h"

namespace {

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring TempFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(ARRAYSIZE(temp), temp);
    std::wstring folder = std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool WriteBytes(const std::wstring& path, size_t bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::vector<char> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31 + 7);
    bool ok = true;
    for (size_t done = 0; done < bytes && ok;) {
        DWORD part = static_cast<DWORD>(std::min(chunk.size(), bytes - done)), written = 0;
        ok = WriteFile(file, chunk.data(), part, &written, nullptr) && written == part;
        done += part;
    }
    CloseHandle(file);
    return ok;
}

double TimeCopy(const std::wstring& from, const std::wstring& to) {
    double start = Now();
    BOOL copied = CopyFileW(from.c_str(), to.c_str(), FALSE);
    double seconds = Now() - start;
    DeleteFileW(to.c_str());
    return copied ? seconds : -1.0;
}

DWORD WINAPI QuietWorker(LPVOID dialog) {
    auto* progress = static_cast<CProgressDlg*>(dialog);
    WaitForSingleObject(progress->GetInitEvent(), 10000);
    PostMessageW(progress->GetWorkerWindow(), WM_CLOSE, 0, 0);
    return 0;
}

// One progress dialog with a worker that does nothing: what any operation pays for its dialog.
double TimeDialogOnly(HWND parent) {
    CProgressDlg dialog(parent);
    dialog.DisableCancel();
    double start = Now();
    HANDLE worker = CreateThread(nullptr, 0, QuietWorker, &dialog, 0, nullptr);
    dialog.SetWorkerThread(worker);
    dialog.DoModal();
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    return Now() - start;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

}  // namespace

int main() {
    vxhost::HostOptions options;
    std::wstring work = TempFolder(L"checkout-bench-");
    options.logPath = work + L"\\host.log";
    std::unique_ptr<vxhost::Host> host = std::make_unique<vxhost::Host>(options);
    vxhost::Extension* extension = host->CreateExtension("VARNELPRO:Bench");
    extension->module = GetModuleHandleW(nullptr);
    VxSDKData data = host->MakeSDKData(extension, kVxHandshakeV2);
    if (!PISetupSDK(kVxHandshakeV2, &data)) {
        std::fprintf(stderr, "PISetupSDK refused\n");
        return 2;
    }

    CoInitialize(nullptr);
    TesseraRegisterClassObjects();
    std::wstring store = work + L"\\store";
    CreateDirectoryW(store.c_str(), nullptr);
    SetEnvironmentVariableW(L"TESSERA_STORE", store.c_str());
    tessera::AddServer(store, L"SRV1");
    tessera::AddDatabase(store, L"SRV1", L"DOCS");
    tessera::AddUser(store, L"SRV1", L"jdoe", L"secret", L"John Doe", false);

    struct Size {
        const char* label;
        size_t bytes;
        int rounds;
        long number;
        std::wstring content;
    } sizes[] = {{"1 MB", 1u << 20, 5, 100, L""}, {"100 MB", 100u << 20, 3, 200, L""}};
    for (Size& size : sizes) {
        size.content = work + L"\\content-" + std::to_wstring(size.number) + L".pdf";
        if (!WriteBytes(size.content, size.bytes)) {
            std::fprintf(stderr, "cannot write %s of content\n", size.label);
            return 2;
        }
        tessera::NewDocument doc;
        doc.server = L"SRV1";
        doc.database = L"DOCS";
        doc.contentFile = size.content;
        doc.extension = L"pdf";
        doc.description = L"Bench";
        doc.number = size.number;
        tessera::AddDocument(store, doc, nullptr);
    }

    int status = 0;
    {
        TSManager manager(host->MainWindow());
        manager.AddServer(L"SRV1", L"jdoe", L"secret", false, false);
        if (!manager.Login(L"SRV1", false, L"jdoe", L"secret")) {
            std::fprintf(stderr, "login failed\n");
            return 2;
        }
        CDocumentManager documents;
        CDocumentLifecycle lifecycle(manager, documents);

        std::vector<double> dialogOnly;
        for (int i = 0; i < 3; ++i) dialogOnly.push_back(TimeDialogOnly(host->MainWindow()));
        double dialogCost = Median(dialogOnly);
        std::printf("progress dialog alone (open and close, idle worker): %.3f s\n", dialogCost);
        std::printf("%-7s %-9s %10s %10s %8s %14s\n", "size", "operation", "plug-in s", "copy s", "ratio",
                    "ratio w/o dlg");

        for (const Size& size : sizes) {
            std::vector<double> checkout, checkin, copy;
            for (int round = 0; round < size.rounds; ++round) {
                tessera::SetOpenPreset(store, {{L"SRV1", L"DOCS", size.number, 1}});
                ASPathName* items = nullptr;
                ASUns16 count = 0;
                double start = Now();
                bool opened = lifecycle.OpenDocuments(nullptr, nullptr, &items, &count, true);
                checkout.push_back(Now() - start);
                copy.push_back(TimeCopy(size.content, work + L"\\copy.pdf"));
                if (!opened || count != 1) {
                    std::fprintf(stderr, "check-out of %s failed\n", size.label);
                    status = 1;
                    break;
                }
                std::wstring local = CAPHostPathText(items[0]);
                VxReleasePath(VxDefaultFileSys(), items[0]);
                VxFree(items);
                DmsDocumentPtr document = manager.GetDocument(L"SRV1", L"DOCS", size.number, 1);
                start = Now();
                bool checkedIn = CheckinDocument(manager, local, std::move(document), false);
                checkin.push_back(Now() - start);
                if (!checkedIn) {
                    std::fprintf(stderr, "check-in of %s failed\n", size.label);
                    status = 1;
                }
                lifecycle.RemoveDocument(local);
                for (int idle = 0; idle < 5 && !host->IdleProcs().empty(); ++idle) host->RunIdle();
            }
            double copySeconds = Median(copy);
            for (auto row : {std::make_pair("check-out", &checkout), std::make_pair("check-in", &checkin)}) {
                double seconds = Median(*row.second);
                std::printf("%-7s %-9s %10.3f %10.3f %8.1f %14.1f\n", size.label, row.first, seconds, copySeconds,
                            seconds / copySeconds, (seconds - dialogCost) / copySeconds);
            }
        }
        for (int idle = 0; idle < 5 && !host->IdleProcs().empty(); ++idle) host->RunIdle();
    }
    TesseraRevokeClassObjects();
    VxDestroyHFTServer();
    host->Shutdown();
    host.reset();
    CoUninitialize();
    vxhost::TempFolder::RemoveTree(GetTempRootFolder());
    vxhost::TempFolder::RemoveTree(work);
    return status;
}
