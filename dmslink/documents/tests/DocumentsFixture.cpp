#include "DocumentsFixture.h"

#include <TesseraDMS.h>

#include "VxHFT.h"
#include "documents/TempWorkspace.h"

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
