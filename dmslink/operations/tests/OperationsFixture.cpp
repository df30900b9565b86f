#include "OperationsFixture.h"

#include <mutex>
#include <utility>

#include "VxHFT.h"
#include "VxTrace.h"
#include "documents/TempWorkspace.h"
#include "dialogs/CProgressDlg.h"
#include "resources/resource.h"

HRESULT RegisterSpyContext(DWORD* cookie, bool emptySelection);
std::vector<ContextItem> SpyContextItems();

namespace {

std::mutex gTraceLock;
std::vector<std::string> gTraces;
void CollectTrace(const char* line) {
    std::lock_guard<std::mutex> hold(gTraceLock);
    gTraces.emplace_back(line);
}

std::vector<ShownDialog> gDialogs;
UINT gDuringMessage = 0;
std::function<void()> gDuring;

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, ARRAYSIZE(text));
    return text;
}

std::vector<std::wstring> DetailTexts(HWND dialog) {
    std::vector<std::wstring> texts;
    for (int id : {IDC_DOC_NAME, IDC_DOC_AUTHOR, IDC_DOC_NUMBER, IDC_DOC_VERSION, IDC_DOC_SIZE})
        texts.push_back(WindowText(GetDlgItem(dialog, id)));
    return texts;
}

LRESULT CALLBACK WatchDialogs(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call && GetDlgItem(call->hwnd, IDC_PROGRESS)) {
        if (call->message == WM_INITDIALOG) {
            ShownDialog shown;
            shown.caption = WindowText(call->hwnd);
            shown.cancelEnabled = IsWindowEnabled(GetDlgItem(call->hwnd, IDCANCEL)) != FALSE;
            shown.initial = DetailTexts(call->hwnd);
            gDialogs.push_back(shown);
        } else if (call->message == WM_SETDOCUMENTINFO && !gDialogs.empty()) {
            gDialogs.back().details.push_back(DetailTexts(call->hwnd));
        }
        if (call->message == gDuringMessage && gDuring) std::exchange(gDuring, nullptr)();
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

void OperationsTest::SetUp() {
    DmsTest::SetUp();
    if (HasFatalFailure()) return;
    ClearTraces();
    VxSetTraceSink(CollectTrace);
    gDialogs.clear();
    hook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, WatchDialogs, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook_, nullptr);
    ASSERT_EQ(tessera::AddUser(Store(), L"SRV1", L"user7", L"pw7", L"", false), S_OK);
    ASSERT_EQ(tessera::AddUser(Store(), L"SRV1", L"mmajor", L"pw8", L"Mary Major", false), S_OK);
    struct Seed {
        long number;
        const wchar_t* description;
        size_t bytes;
        const wchar_t* author;
    } seeds[] = {{lease_, L"Lease", 1536, L"jdoe"}, {memo_, L"Memo", 3145728, L""}, {budget_, L"Budget", 1024, L""},
                 {empty_, L"Empty", 0, L""}};
    for (const Seed& seed : seeds) {
        tessera::NewDocument doc;
        doc.server = L"SRV1";
        doc.database = L"DOCS";
        if (seed.bytes) {
            doc.contentFile = files_ / (std::wstring(seed.description) + L".pdf");
            ASSERT_TRUE(VxWriteFile(doc.contentFile, std::string(seed.bytes, static_cast<char>('a' + seed.number % 26))));
        }
        doc.extension = L"pdf";
        doc.description = seed.description;
        doc.author = seed.author;
        doc.number = seed.number;
        ASSERT_EQ(tessera::AddDocument(Store(), doc, nullptr), S_OK);
    }
}

void OperationsTest::TearDown() {
    if (spyCookie_) CoRevokeClassObject(spyCookie_);
    if (hook_) UnhookWindowsHookEx(hook_);
    gDuring = nullptr;
    VxSetTraceSink(nullptr);
    DmsTest::TearDown();
}

std::vector<std::string> OperationsTest::Traces() {
    std::lock_guard<std::mutex> hold(gTraceLock);
    return gTraces;
}

void OperationsTest::ClearTraces() {
    std::lock_guard<std::mutex> hold(gTraceLock);
    gTraces.clear();
}

size_t OperationsTest::TraceCount(const std::string& line) {
    size_t n = 0;
    for (const std::string& trace : Traces()) n += trace == line;
    return n;
}

bool OperationsTest::HasTracePrefix(const std::string& prefix) {
    for (const std::string& trace : Traces())
        if (trace.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

const std::vector<ShownDialog>& OperationsTest::Dialogs() const { return gDialogs; }

void OperationsTest::During(UINT message, std::function<void()> action) {
    gDuringMessage = message;
    gDuring = std::move(action);
}

void OperationsTest::UseSpyContext(bool emptySelection) {
    // The spy takes the stand-in's place; the stand-in's other classes come back beside it.
    ASSERT_EQ(RegisterSpyContext(&spyCookie_, emptySelection), S_OK);
    ASSERT_EQ(TesseraRegisterClassObjects(), S_OK);
}

std::vector<ContextItem> OperationsTest::SpyItems() { return SpyContextItems(); }

tessera::DocumentInfo OperationsTest::Info(long number, long version) {
    std::vector<tessera::DocumentInfo> all;
    EXPECT_EQ(tessera::ListDocuments(Store(), &all), S_OK);
    for (const auto& info : all)
        if (info.number == number && info.version == version) return info;
    ADD_FAILURE() << "no document " << number << " v" << version;
    return {};
}

long OperationsTest::LatestVersion(long number) {
    std::vector<tessera::DocumentInfo> all;
    EXPECT_EQ(tessera::ListDocuments(Store(), &all), S_OK);
    long latest = 0;
    for (const auto& info : all)
        if (info.number == number && info.version > latest) latest = info.version;
    return latest;
}

void OperationsTest::SetOpen(const std::vector<long>& numbers) {
    std::vector<tessera::DocumentRef> refs;
    for (long number : numbers) refs.push_back({L"SRV1", L"DOCS", number, 1});
    ASSERT_EQ(tessera::SetOpenPreset(Store(), refs), S_OK);
}
