// checkout_bench: what the plug-in costs on the data path, as ratios against plain file copies of the
// same bytes made in the same run. Prints figures; asserts nothing. Needs a display (the dialogs
// are real).
//
//   - check-out (Open from the DMS) and check-in of documents of 1 MB, 100 MB and 1 GB, each split
//     into the time inside DMS calls (the stand-in's store operations, its content copies among
//     them), the progress dialog's fixed cost, and the plug-in's own work ("w/o dlg": the ratio
//     without the dialog's fixed cost); and the peak working set;
//   - start-up of the real plug-in with 100 configured servers against the host's minimal plug-in;
//   - check-outs of 100, 500 and 1,000 documents in one selection.
//
//   checkout_bench.exe [--quick] [--data-path] [--folder <dir>]
//     --quick: no 1 GB document; --data-path: the data path only; --folder: everything written goes
//     under <dir> instead of the temporary folder.
// With VX_BENCH_TIMELINE set, every trace line of an operation goes to stderr with its time since
// the operation started: where the fixed costs are.
#include <windows.h>
#include <psapi.h>

#include <TesseraDMS.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Files/CAPPathText.h"
#include "VxHFT.h"
#include "VxPlugin.h"
#include "VxTrace.h"
#include "documents/CDocumentManager.h"
#include "documents/TempWorkspace.h"
#include "dialogs/CProgressDlg.h"
#include "operations/TSOperations.h"
#include "module/CDocumentLifecycle.h"
#include "tessera/StandIn.h"
#include "vxhost/Host.h"
#include "vxhost/HostFixture.h"

namespace {

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double PeakMegabytes() {
    PROCESS_MEMORY_COUNTERS counters = {sizeof counters};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

bool WriteBytes(const std::wstring& path, unsigned long long bytes) {
    CAPHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::vector<char> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31 + 7);
    for (unsigned long long done = 0; done < bytes;) {
        DWORD part = static_cast<DWORD>(std::min<unsigned long long>(chunk.size(), bytes - done)), written = 0;
        if (!WriteFile(file.get(), chunk.data(), part, &written, nullptr) || written != part) return false;
        done += part;
    }
    return true;
}

// Written bytes still waiting for the disk slow down the next writer, whoever made them; each
// measured step starts with none (a flush, outside the timing, of every large file there is).
void FlushFile(const std::wstring& path) {
    CAPHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) FlushFileBuffers(file.get());
}

void FlushFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    CAPFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) FlushFile(folder + L"\\" + found.cFileName);
    } while (FindNextFileW(find.get(), &found));
}

// The copy stays until the round has ended, as the plug-in's copies do: a copy deleted at once
// gives its memory straight to the next one, and its bytes never reach the disk.
double TimeCopy(const std::wstring& from, const std::wstring& to) {
    double start = Now();
    BOOL copied = CopyFileW(from.c_str(), to.c_str(), FALSE);
    double seconds = Now() - start;
    FlushFile(to);
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
    CAPThread worker(CreateThread(nullptr, 0, QuietWorker, &dialog, 0, nullptr));
    dialog.SetWorkerThread(worker.get());
    dialog.DoModal();
    CAPJoinThread(worker);
    return Now() - start;
}

double gStart = 0;
bool gTimeline = false;  // VX_BENCH_TIMELINE is set: read once by main, before any worker runs
void Timeline(const char* line) {
    if (gTimeline) (void)std::fprintf(stderr, "%8.2f ms  %s\n", (Now() - gStart) * 1000, line);
}

// The parts of one measured operation.
struct Split {
    double total = 0, dms = 0, transfer = 0;
    long calls = 0;
};

struct Bench {
    vxhost::Host& host;
    std::wstring work, store;
    TSManager& manager;
    CDocumentManager& documents;

    CDocumentLifecycle Life() { return CDocumentLifecycle(manager, documents); }

    long AddDocument(const std::wstring& content, long number) {
        tessera::NewDocument doc;
        doc.server = L"SRV1";
        doc.database = L"DOCS";
        doc.contentFile = content;
        doc.extension = L"pdf";
        doc.description = L"Bench " + std::to_wstring(number);
        doc.number = number;
        tessera::AddDocument(store, doc, nullptr);
        return number;
    }
    void Settle(const std::vector<std::wstring>& copies = {}) {
        for (const std::wstring& copy : copies) FlushFile(copy);
        FlushFolder(store + L"\\content");
    }
    void DrainIdle() {
        for (int idle = 0; idle < 10 && !host.IdleProcs().empty(); ++idle) host.RunIdle();
    }
    // Open from the DMS of the documents; their local copies.
    std::vector<std::wstring> CheckOut(const std::vector<long>& numbers, Split* split) {
        std::vector<tessera::DocumentRef> refs;
        refs.reserve(numbers.size());
        for (long number : numbers) refs.push_back({L"SRV1", L"DOCS", number, 1});
        tessera::SetOpenPreset(store, refs);
        ASPathName* items = nullptr;
        ASUns16 count = 0;
        tessera::TakeStoreTimes();
        double start = gStart = Now();
        bool opened = Life().OpenDocuments(nullptr, nullptr, &items, &count, true);
        split->total = Now() - start;
        tessera::StoreTimes times = tessera::TakeStoreTimes();
        split->dms = times.seconds;
        split->transfer = times.transferSeconds;
        split->calls = times.transactions;
        std::vector<std::wstring> copies;
        for (ASUns16 i = 0; opened && i < count; ++i) {
            copies.push_back(CAPHostPathText(items[i]));
            VxReleasePath(VxDefaultFileSys(), items[i]);
        }
        if (items) VxFree(items);
        return copies;
    }
    bool CheckIn(const std::wstring& copy, Split* split) {
        TrackedDocument* record = documents.FindASPathName(copy);
        if (!record) return false;
        tessera::TakeStoreTimes();
        double start = gStart = Now();
        bool checkedIn = Life().CheckinDocument(copy, false);
        split->total = Now() - start;
        tessera::StoreTimes times = tessera::TakeStoreTimes();
        split->dms = times.seconds;
        split->transfer = times.transferSeconds;
        split->calls = times.transactions;
        return checkedIn;
    }
    void Release(const std::vector<std::wstring>& copies) {
        for (const std::wstring& copy : copies) Life().RemoveDocument(copy);
        DrainIdle();
    }
};

void PrintRow(const char* size, const char* operation, const Split& s, double copy, double dialog) {
    double own = s.total - s.dms - dialog;
    std::printf("%-7s %-9s %9.3f %9.3f %7.2f %9.2f   %7.3f %7.3f %7.3f %8.1f%%\n", size, operation, s.total, copy,
                s.total / copy, (s.total - dialog) / copy, s.dms, dialog, own, 100.0 * own / copy);
}

Split MedianSplit(const std::vector<Split>& runs) {
    std::vector<double> total, dms, transfer;
    for (const Split& s : runs) {
        total.push_back(s.total);
        dms.push_back(s.dms);
        transfer.push_back(s.transfer);
    }
    return {Median(total), Median(dms), Median(transfer), runs.empty() ? 0 : runs.back().calls};
}

int DataPath(Bench& bench, bool large) {
    struct Size {
        const char* label;
        unsigned long long bytes;
        int rounds;
        long number;
    } sizes[] = {{"1 MB", 1ull << 20, 5, 100}, {"100 MB", 100ull << 20, 5, 200}, {"1 GB", 1ull << 30, 3, 300}};
    std::printf("%-7s %-9s %9s %9s %7s %9s   %7s %7s %7s %9s\n", "size", "operation", "total s", "copy s", "ratio",
                "w/o dlg", "DMS s", "dialog", "own s", "own/copy");
    int status = 0;
    for (const Size& size : sizes) {
        if (!large && size.bytes > (100ull << 20)) continue;
        std::wstring content = bench.work + L"\\content-" + std::to_wstring(size.number) + L".pdf";
        if (!WriteBytes(content, size.bytes)) return 2;
        bench.AddDocument(content, size.number);
        FlushFile(content);
        bench.Settle();
        std::vector<double> copy, keptCopy, dialog;
        std::vector<std::wstring> kept;
        std::vector<Split> out, in;
        for (int round = 0; round < size.rounds && status == 0; ++round) {
            copy.push_back(TimeCopy(content, bench.work + L"\\copy.pdf"));
            // A copy kept until the size is done, as the DMS keeps each version it receives: it
            // meets memory the run has not used yet, which a virtual machine may back only now.
            kept.push_back(bench.work + L"\\kept-" + std::to_wstring(round) + L".pdf");
            keptCopy.push_back(TimeCopy(content, kept.back()));
            // The dialog's fixed cost varies from run to run under Wine: measured beside each round.
            dialog.push_back(TimeDialogOnly(bench.host.MainWindow()));
            Split checkout, checkin;
            std::vector<std::wstring> copies = bench.CheckOut({size.number}, &checkout);
            bench.Settle(copies);
            if (copies.size() != 1 || !bench.CheckIn(copies[0], &checkin)) {
                (void)std::fprintf(stderr, "check-out or check-in of %s failed\n", size.label);
                status = 1;
            }
            out.push_back(checkout);
            in.push_back(checkin);
            bench.Release(copies);
            DeleteFileW((bench.work + L"\\copy.pdf").c_str());
            bench.Settle();
        }
        double copySeconds = Median(copy), keptSeconds = Median(keptCopy), dialogSeconds = Median(dialog);
        Split checkout = MedianSplit(out), checkin = MedianSplit(in);
        PrintRow(size.label, "check-out", checkout, copySeconds, dialogSeconds);
        PrintRow(size.label, "check-in", checkin, copySeconds, dialogSeconds);
        std::printf("%-7s check-in against its two copies (private, into reused memory %.3f s; the DMS's kept "
                    "version, into new memory %.3f s): %.2f, w/o dialog %.2f\n",
                    size.label, copySeconds, keptSeconds, checkin.total / (copySeconds + keptSeconds),
                    (checkin.total - dialogSeconds) / (copySeconds + keptSeconds));
        std::printf("%-7s peak working set %.1f MB; DMS content copies: check-out %.3f s, check-in %.3f s; DMS "
                    "store operations: check-out %ld, check-in %ld\n",
                    size.label, PeakMegabytes(), checkout.transfer, checkin.transfer, checkout.calls, checkin.calls);
        for (const std::wstring& path : kept) DeleteFileW(path.c_str());
        DeleteFileW(content.c_str());
    }
    return status;
}

// Check-outs of many small documents in one selection: the time per document must stay flat.
int ManyDocuments(Bench& bench) {
    std::wstring content = bench.work + L"\\small.pdf";
    if (!WriteBytes(content, 1024)) return 2;
    const long first = 10000;
    for (long n = 0; n < 1000; ++n) bench.AddDocument(content, first + n);
    std::printf("\n%-10s %9s %12s %12s\n", "documents", "total s", "ms/document", "DMS ms/doc");
    for (long count : {100L, 500L, 1000L}) {
        std::vector<long> numbers;
        for (long n = 0; n < count; ++n) numbers.push_back(first + n);
        Split split;
        std::vector<std::wstring> copies = bench.CheckOut(numbers, &split);
        if (static_cast<long>(copies.size()) != count) {
            (void)std::fprintf(stderr, "%ld documents: %zu checked out\n", count, copies.size());
            return 1;
        }
        std::printf("%-10ld %9.3f %12.2f %12.2f\n", count, split.total, 1000.0 * split.total / count,
                    1000.0 * split.dms / count);
        bench.Release(copies);
    }
    return 0;
}

}  // namespace

int RunStartup(const std::wstring& work, const std::wstring& bin);

int main(int argc, char** argv) {
    bool large = true, dataPathOnly = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--quick") large = false;
        if (argument == "--data-path") dataPathOnly = true;
        // Everything the run writes (the copies, the DMS store, the plug-in's workspace) under the
        // folder: on a memory file system, the figures show the software's cost without the disk's.
        if (argument == "--folder" && i + 1 < argc) {
            std::wstring folder = vxhost::FromUtf8(argv[++i]);
            CreateDirectoryW(folder.c_str(), nullptr);
            SetEnvironmentVariableW(L"TMP", folder.c_str());
            SetEnvironmentVariableW(L"TEMP", folder.c_str());
        }
    }
    vxhost::HostOptions options;
    vxhost::TempFolder work;
    options.logPath = work.File(L"host.log");
    wchar_t binPath[MAX_PATH];
    GetModuleFileNameW(nullptr, binPath, MAX_PATH);
    std::wstring bin = CAPFolderOf(binPath);
    int status = 0;
    {
        auto host = std::make_unique<vxhost::Host>(options);
        vxhost::Extension* extension = host->CreateExtension("VARNELPRO:Bench");
        extension->module = GetModuleHandleW(nullptr);
        VxSDKData data = host->MakeSDKData(extension, kVxHandshakeV2);
        if (!PISetupSDK(kVxHandshakeV2, &data)) return 2;
        gTimeline = GetEnvironmentVariableW(L"VX_BENCH_TIMELINE", nullptr, 0) > 0;
        VxSetTraceSink(Timeline);
        CoInitialize(nullptr);
        TesseraRegisterClassObjects();
        std::wstring store = work.File(L"store");
        SetEnvironmentVariableW(L"TESSERA_STORE", store.c_str());
        tessera::AddServer(store, L"SRV1");
        tessera::AddDatabase(store, L"SRV1", L"DOCS");
        tessera::AddUser(store, L"SRV1", L"jdoe", L"secret", L"John Doe", false);
        {
            TSServerList servers;
            TSManager manager(host->MainWindow(), servers);
            servers.AddServer(L"SRV1", L"jdoe", L"secret", false, false);
            if (!manager.Login(L"SRV1", false, L"jdoe", L"secret")) return 2;
            CDocumentManager documents;
            Bench bench{*host, work.Path(), store, manager, documents};
            std::printf("dialog: a progress dialog alone (open and close, idle worker), beside each round\n\n");
            status = DataPath(bench, large);
            if (status == 0 && !dataPathOnly) status = ManyDocuments(bench);
            bench.DrainIdle();
        }
        TesseraRevokeClassObjects();
        VxDestroyHFTServer();
        host->Shutdown();
    }
    if (status == 0 && !dataPathOnly) status = RunStartup(work.Path(), bin);
    vxhost::TempFolder::RemoveTree(GetTempRootFolder());
    CoUninitialize();
    return status;
}
