#include "DocumentsFixture.h"

#include <TesseraDMS.h>

#include <atomic>

#include "VxHFT.h"
#include "dialogs/CProgressDlg.h"
#include "documents/TempWorkspace.h"
#include "resources/resource.h"

namespace {

class UnreadableRights final : public ITesseraDocument {
public:
    explicit UnreadableRights(ITesseraDocument* real) : real_(real) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch && iid != __uuidof(ITesseraRecord) &&
            iid != __uuidof(ITesseraDocument))
            return E_NOINTERFACE;
        *out = static_cast<ITesseraDocument*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return real_->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_AccessRights(long*) override { return E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE get_Database(ITesseraDatabase** database) override { return real_->get_Database(database); }
    HRESULT STDMETHODCALLTYPE get_CheckedOutBy(ITesseraUser** user) override { return real_->get_CheckedOutBy(user); }
    HRESULT STDMETHODCALLTYPE Unlock(VARIANT_BOOL* released) override { return real_->Unlock(released); }
    HRESULT STDMETHODCALLTYPE get_Number(long* number) override { return real_->get_Number(number); }
    HRESULT STDMETHODCALLTYPE get_Version(long* version) override { return real_->get_Version(version); }
    HRESULT STDMETHODCALLTYPE get_Size(long* bytes) override { return real_->get_Size(bytes); }
    HRESULT STDMETHODCALLTYPE get_Extension(BSTR* extension) override { return real_->get_Extension(extension); }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override { return real_->get_Name(name); }
    HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) override {
        return real_->get_Description(description);
    }
    HRESULT STDMETHODCALLTYPE get_Author(ITesseraUser** author) override { return real_->get_Author(author); }
    HRESULT STDMETHODCALLTYPE CheckOut(BSTR path, long option, double dueDate, BSTR comment) override {
        return real_->CheckOut(path, option, dueDate, comment);
    }
    HRESULT STDMETHODCALLTYPE CheckIn(BSTR path, long disposition, long keepCheckedOut, void* reserved,
                                      IUnknown** result) override {
        return real_->CheckIn(path, disposition, keepCheckedOut, reserved, result);
    }
    HRESULT STDMETHODCALLTYPE get_IsCheckedOut(VARIANT_BOOL* checkedOut) override {
        return real_->get_IsCheckedOut(checkedOut);
    }

private:
    ITesseraDocumentPtr real_;
    std::atomic<ULONG> references_{0};
};

// QuitDuringProgress's hook works on the test's own thread only.
int gQuitAfter = 0;
int gQuitCode = 0;
HANDLE gQuitPosted = nullptr;

LRESULT CALLBACK QuitWhenShown(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call && gQuitAfter > 0 && GetDlgItem(call->hwnd, IDC_PROGRESS) &&
        (call->message == WM_INITDIALOG || call->message == WM_SETDOCUMENTINFO) && --gQuitAfter == 0) {
        PostQuitMessage(gQuitCode);
        SetEvent(gQuitPosted);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

DmsDocumentPtr WithUnreadableRights(DmsDocumentPtr document) {
    if (!document || !document->document) return document;
    document->document = ITesseraDocumentPtr(new UnreadableRights(document->document));
    return document;
}

QuitDuringProgress::QuitDuringProgress(int shown, int exitCode) : posted_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    gQuitAfter = shown;
    gQuitCode = exitCode;
    gQuitPosted = posted_;
    hook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, QuitWhenShown, nullptr, GetCurrentThreadId());
    EXPECT_NE(hook_, nullptr);
}

QuitDuringProgress::~QuitDuringProgress() {
    if (hook_) UnhookWindowsHookEx(hook_);
    gQuitAfter = 0;
    gQuitPosted = nullptr;
    CloseHandle(posted_);
}

bool QuitDuringProgress::Posted() const { return WaitForSingleObject(posted_, 0) == WAIT_OBJECT_0; }

void DmsTest::SetUp() {
    VxHostedTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(com_.get()));
    ASSERT_EQ(TesseraRegisterClassObjects(), S_OK);
    SetEnvironmentVariableW(L"TESSERA_STORE", store_.path().c_str());
    ASSERT_EQ(tessera::AddServer(store_.path(), L"SRV1"), S_OK);
    ASSERT_EQ(tessera::AddDatabase(store_.path(), L"SRV1", L"DOCS"), S_OK);
    ASSERT_EQ(tessera::AddUser(store_.path(), L"SRV1", L"jdoe", L"secret", L"John Doe", false), S_OK);
    manager_ = std::make_unique<TSManager>(host().MainWindow(), servers_);
    ASSERT_TRUE(manager_->IsDmsAvailable());
    ASSERT_TRUE(servers_.AddServer(L"SRV1", L"jdoe", L"secret", false, false));
    ASSERT_TRUE(manager_->Login(L"SRV1", false, L"jdoe", L"secret"));
    docs_ = std::make_unique<CDocumentManager>();
}

void DmsTest::TearDown() {
    if (host_) host().CloseAllDocuments();
    docs_.reset();
    if (host_) DrainIdle();
    manager_.reset();
    TesseraRevokeClassObjects();
    SetEnvironmentVariableW(L"TESSERA_STORE", nullptr);
    EXPECT_TRUE(host_ == nullptr || host().IdleProcs().empty()) << host().DescribeIdleProcs();
    VxHostedTest::TearDown();  // fails the test for any host entry called off the main thread
}

DmsDocumentPtr DmsTest::Dms(long number, long version) {
    return manager_->GetDocument(L"SRV1", L"DOCS", number, version);
}

void DmsTest::DrainIdle() {
    for (int i = 0; i < 10 && !host().IdleProcs().empty(); i++) host().RunIdle();
}

void DocumentsTest::SetUp() {
    DmsTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(VxWriteFile(files_ / L"v1.pdf", "lease-v1"));
    ASSERT_TRUE(VxWriteFile(files_ / L"v2.pdf", "lease-v2"));
    tessera::NewDocument doc;
    doc.server = L"SRV1";
    doc.database = L"DOCS";
    doc.contentFile = files_ / L"v1.pdf";
    doc.extension = L"pdf";
    doc.description = L"Lease";
    doc.number = number_;
    ASSERT_EQ(tessera::AddDocument(store_.path(), doc, nullptr), S_OK);
    long version = 0;
    ASSERT_EQ(tessera::AddVersion(store_.path(), L"SRV1", L"DOCS", number_, files_ / L"v2.pdf", &version), S_OK);
    ASSERT_EQ(version, 2);
}

std::wstring DocumentsTest::RecordFileOf(const std::wstring& file) {
    return file.substr(0, file.rfind(L'\\')) + L"\\TSFile.dat";
}

DocumentsTest::CheckedOut DocumentsTest::CheckOut(long version, bool open) {
    CheckedOut copy;
    std::wstring folder;
    CFolderClaim claim;
    EXPECT_TRUE(ClaimTempFolder(&folder, &claim));
    docs_->KeepClaim(std::move(claim));
    copy.file = folder + FormatTempFileName(number_, version, L"pdf");
    DmsDocumentPtr document = Dms(number_, version);
    EXPECT_NE(document, nullptr);
    if (!document) return copy;
    EXPECT_EQ(document->document->CheckOut(_bstr_t(copy.file.c_str()), 0, 0.0, _bstr_t(L"")), S_OK);
    copy.record = docs_->AddDocument(nullptr, std::move(document), copy.file, true);
    EXPECT_NE(copy.record, nullptr);
    if (open && copy.record) {
        copy.doc = host().OpenDocument(copy.file);
        EXPECT_NE(copy.doc, nullptr);
        if (copy.doc) copy.record->pdDoc = copy.doc->pdDoc();
    }
    return copy;
}

void DocumentsTest::Close(const CheckedOut& copy) {
    PDDoc pdDoc = copy.doc->pdDoc();
    host().CloseDocument(copy.doc);
    Life().DocumentWasClosed(pdDoc);
}

void DocumentsTest::EditAndSave(const CheckedOut& copy, const std::string& edit) {
    host().EditDocument(copy.doc, edit);
    EXPECT_TRUE(host().SaveDocument(copy.doc));
    Life().DocumentWasSaved(copy.doc->pdDoc());
}

DocumentLookup DocumentsTest::Lookup() {
    return [this](const std::wstring& server, const std::wstring& database, long number, long version) {
        return manager_->GetDocument(server, database, number, version);
    };
}

std::vector<tessera::DocumentInfo> DocumentsTest::Versions() {
    std::vector<tessera::DocumentInfo> all, mine;
    EXPECT_EQ(tessera::ListDocuments(store_.path(), &all), S_OK);
    for (auto& info : all)
        if (info.number == number_) mine.push_back(info);
    return mine;
}

std::wstring DocumentsTest::LockedBy() {
    for (auto& info : Versions())
        if (!info.lockedBy.empty()) return info.lockedBy;
    return std::wstring();
}

void DocumentsTest::Fault(const wchar_t* operation, long count) {
    ASSERT_EQ(tessera::AddRefusal(store_.path(), operation, count), S_OK);
}
