#include "StoreFixture.h"

#include <vector>

namespace tessera::test {

std::wstring WindowsUserName() {
    wchar_t name[257];
    DWORD length = ARRAYSIZE(name);
    return GetUserNameW(name, &length) ? std::wstring(name) : std::wstring();
}

UniqueBstr B(const wchar_t* text) { return UniqueBstr(SysAllocString(text)); }

std::wstring Text(const UniqueBstr& text) {
    return text.get() ? std::wstring(text.get(), SysStringLen(text.get())) : std::wstring();
}

void StoreTest::SetUp() {
    SetEnvironmentVariableW(L"TESSERA_STORE", Store().c_str());
    ASSERT_EQ(S_OK, AddServer(Store(), L"DMS1"));
    ASSERT_EQ(S_OK, AddDatabase(Store(), L"DMS1", L"Legal"));
    ASSERT_EQ(S_OK, AddDatabase(Store(), L"DMS1", L"Finance"));
    ASSERT_EQ(S_OK, AddUser(Store(), L"DMS1", L"jdoe", L"secret", L"John Doe", false));
    ASSERT_EQ(S_OK, AddUser(Store(), L"DMS1", L"user7", L"pw7", L"", false));
    ASSERT_EQ(S_OK, AddUser(Store(), L"DMS1", WindowsUserName(), L"", L"Windows User", true));
    // Legal 1234 and 1235, Finance 1.
    const struct {
        const wchar_t *database, *file, *description, *author;
        const char* content;
        long number, rights;
    } seeds[] = {{L"Legal", L"lease.pdf", L"Lease", L"jdoe", "lease-v1", 1234, 3},
                 {L"Legal", L"memo.docx", L"Memo", L"", "memo", 0, 255},
                 {L"Finance", L"budget.pdf", L"Budget", L"", "budget", 0, 255}};
    for (const auto& seed : seeds) {
        NewDocument doc;
        doc.server = L"DMS1";
        doc.database = seed.database;
        doc.contentFile = scratch_.Write(seed.file, seed.content);
        doc.description = seed.description;
        doc.author = seed.author;
        doc.number = seed.number;
        doc.rights = seed.rights;
        ASSERT_EQ(S_OK, AddDocument(Store(), doc, nullptr));
    }
}

void StoreTest::TearDown() { SetEnvironmentVariableW(L"TESSERA_STORE", nullptr); }

void ComTest::SetUp() {
    StoreTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    comReady_ = true;
    ASSERT_EQ(S_OK, TesseraRegisterClassObjects());
}

void ComTest::TearDown() {
    TesseraRevokeClassObjects();
    if (comReady_) CoUninitialize();
    StoreTest::TearDown();
}

ComRef<ITesseraDMS> ComTest::CreateDms() {
    ComRef<ITesseraDMS> dms;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_TesseraDMS, nullptr, CLSCTX_ALL, __uuidof(ITesseraDMS), dms.put_void()));
    return dms;
}

ComRef<ITesseraSession> ComTest::LoggedIn(ITesseraDMS* dms, const wchar_t* user, const wchar_t* password) {
    ComRef<ITesseraSessions> sessions;
    ComRef<ITesseraSession> session;
    long result = -1;
    EXPECT_EQ(S_OK, dms->get_Sessions(sessions.put()));
    EXPECT_EQ(S_OK, sessions->Add(B(L"DMS1").get(), session.put()));
    EXPECT_EQ(S_OK, session->Login(B(user).get(), B(password).get(), &result));
    EXPECT_EQ(0, result);
    return session;
}

ComRef<ITesseraDocument> ComTest::GetDocument(ITesseraSession* session, const wchar_t* database, long number,
                                              long version, HRESULT* hr) {
    ComRef<ITesseraDatabases> databases;
    ComRef<ITesseraDatabase> db;
    ComRef<ITesseraDocument> document;
    HRESULT got = session->get_Databases(databases.put());
    if (SUCCEEDED(got)) got = databases->get_Item(B(database).get(), db.put());
    if (SUCCEEDED(got)) got = db->GetDocument(number, version, document.put());
    if (hr)
        *hr = got;
    else
        EXPECT_EQ(S_OK, got);
    return document;
}

}  // namespace tessera::test
