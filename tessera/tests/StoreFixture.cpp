#include "StoreFixture.h"

#include <atomic>
#include <vector>

namespace tessera::test {

std::wstring WindowsUserName() {
    wchar_t name[257];
    DWORD length = ARRAYSIZE(name);
    return GetUserNameW(name, &length) ? std::wstring(name) : std::wstring();
}

std::wstring ReadFileText(const std::wstring& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return L"<missing>";
    std::string bytes(4096, '\0');
    DWORD got = 0;
    ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    bytes.resize(got);
    return std::wstring(bytes.begin(), bytes.end());
}

void WriteFileText(const std::wstring& path, const std::string& text) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file) << "cannot create test file";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring BinFolder() {
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

DWORD RunProcess(const std::wstring& commandLine, std::string* output) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    UniqueHandle readEnd, writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return static_cast<DWORD>(-1);
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info = {};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
        return static_cast<DWORD>(-1);
    UniqueHandle process(info.hProcess), thread(info.hThread);
    writeEnd.reset();
    output->clear();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) output->append(buffer, got);
    WaitForSingleObject(process.get(), 60000);
    DWORD code = static_cast<DWORD>(-1);
    GetExitCodeProcess(process.get(), &code);
    return code;
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
    WriteFileText(Scratch(L"lease.pdf"), "lease-v1");
    NewDocument lease;
    lease.server = L"DMS1";
    lease.database = L"Legal";
    lease.contentFile = Scratch(L"lease.pdf");
    lease.description = L"Lease";
    lease.author = L"jdoe";
    lease.number = 1234;
    lease.rights = 3;
    ASSERT_EQ(S_OK, AddDocument(Store(), lease, &leaseNumber_));
    WriteFileText(Scratch(L"memo.docx"), "memo");
    NewDocument memo;
    memo.server = L"DMS1";
    memo.database = L"Legal";
    memo.contentFile = Scratch(L"memo.docx");
    memo.description = L"Memo";
    ASSERT_EQ(S_OK, AddDocument(Store(), memo, nullptr));
    WriteFileText(Scratch(L"budget.pdf"), "budget");
    NewDocument budget;
    budget.server = L"DMS1";
    budget.database = L"Finance";
    budget.contentFile = Scratch(L"budget.pdf");
    budget.description = L"Budget";
    ASSERT_EQ(S_OK, AddDocument(Store(), budget, nullptr));
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
