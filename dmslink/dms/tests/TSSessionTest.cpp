#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "VxHostedTest.h"
#include "Utilities/CAPHandles.h"
#include "dms/TSManager.h"
#include "dms/TesseraClient.h"
#include "tessera/StandIn.h"

namespace {

const CLSID kNoDms = {0x0B1E6C3A, 0x51D2, 0x4F0E, {0x9A, 0x7C, 0x3D, 0x22, 0x61, 0x8E, 0x40, 0x11}};

std::wstring WindowsUserName() {
    wchar_t name[257];
    DWORD length = ARRAYSIZE(name);
    return GetUserNameW(name, &length) ? std::wstring(name) : std::wstring();
}

// The host, COM with the DMS stand-in's classes registered in this process, and a store seeded with
// server "alpha" (database "Main" holding document 7, users ann/pw1 and the Windows user, trusted)
// and server "beta" (no trusted users).
class TSSessionTest : public VxHostedTest {
protected:
    void SetUp() override {
        VxHostedTest::SetUp();
        ASSERT_TRUE(SUCCEEDED(com_.get()));
        ASSERT_EQ(TesseraRegisterClassObjects(), S_OK);
        SetEnvironmentVariableW(L"TESSERA_STORE", store_.path().c_str());
        const std::wstring& s = store_.path();
        ASSERT_EQ(tessera::AddServer(s, L"alpha"), S_OK);
        ASSERT_EQ(tessera::AddDatabase(s, L"alpha", L"Main"), S_OK);
        ASSERT_EQ(tessera::AddUser(s, L"alpha", L"ann", L"pw1", L"Ann", false), S_OK);
        ASSERT_EQ(tessera::AddUser(s, L"alpha", WindowsUserName(), L"", L"Me", true), S_OK);
        ASSERT_EQ(tessera::AddServer(s, L"beta"), S_OK);
        ASSERT_EQ(tessera::AddUser(s, L"beta", WindowsUserName(), L"x", L"Me", false), S_OK);
        tessera::NewDocument doc;
        doc.server = L"alpha";
        doc.database = L"Main";
        doc.name = L"Contract";
        doc.number = 7;
        ASSERT_EQ(tessera::AddDocument(s, doc, nullptr), S_OK);
        manager_ = std::make_unique<TSManager>(host().MainWindow(), servers_);
        ASSERT_TRUE(manager_->IsDmsAvailable());
    }
    void TearDown() override {
        manager_.reset();
        TesseraRevokeClassObjects();
        SetEnvironmentVariableW(L"TESSERA_STORE", nullptr);
        VxHostedTest::TearDown();
    }

    long SessionCount() {
        ITesseraSessionsPtr sessions = TesseraSessions(manager_->GetDms());
        long count = -1;
        EXPECT_EQ(sessions->get_Count(&count), S_OK);
        return count;
    }
    bool LoggedIn(const wchar_t* server) {
        ITesseraSessionsPtr sessions = TesseraSessions(manager_->GetDms());
        ITesseraSessionPtr session;
        if (FAILED(sessions->get_Item(_bstr_t(server), &session)) || !session) return false;
        VARIANT_BOOL in = VARIANT_FALSE;
        return SUCCEEDED(session->get_LoggedIn(&in)) && in == VARIANT_TRUE;
    }
    void Fault(const wchar_t* operation, HRESULT hr, long count) {
        ASSERT_EQ(tessera::AddFault(store_.path(), operation, hr, count), S_OK);
    }

    CAPComApartment com_{CoInitialize(nullptr)};  // the test's own hold on COM, outliving the manager's
    VxTempFolder store_;
    TSServerList servers_;
    std::unique_ptr<TSManager> manager_;
};

TEST_F(TSSessionTest, WithoutTheDmsObjectEverythingAnswersNo) {
    TSServerList none;
    TSManager without(nullptr, none, kNoDms);
    EXPECT_TRUE(manager_->ProbeDmsClient());
    EXPECT_FALSE(without.IsDmsAvailable());
    EXPECT_EQ(without.GetDms(), nullptr);
    none.AddServer(L"alpha", L"ann", L"pw1", false, false, true);
    EXPECT_FALSE(without.Login(L"alpha", false, L"ann", L"pw1"));
    EXPECT_FALSE(without.Logout(L"alpha"));
    EXPECT_EQ(without.GetDocument(L"alpha", L"Main", 7, 1), nullptr);
}

TEST_F(TSSessionTest, PasswordLoginSucceedsAndReusesTheSessionByName) {
    EXPECT_TRUE(manager_->Login(L"alpha", false, L"ann", L"pw1"));
    EXPECT_TRUE(LoggedIn(L"alpha"));
    EXPECT_TRUE(manager_->Login(L"alpha", false, L"ann", L"pw1"));
    EXPECT_EQ(SessionCount(), 1);
    EXPECT_TRUE(LoggedIn(L"alpha"));
}

TEST_F(TSSessionTest, FailedLoginsLeaveNoSession) {
    EXPECT_FALSE(manager_->Login(L"alpha", false, L"ann", L"wrong"));
    EXPECT_EQ(SessionCount(), 0);
    EXPECT_FALSE(manager_->Login(L"nowhere", false, L"ann", L"pw1"));  // unknown server: a COM error
    EXPECT_EQ(SessionCount(), 0);
    Fault(L"Login", E_FAIL, 1);
    EXPECT_FALSE(manager_->Login(L"alpha", false, L"ann", L"pw1"));
    EXPECT_EQ(SessionCount(), 0);
    EXPECT_TRUE(manager_->Login(L"alpha", false, L"ann", L"pw1"));
}

TEST_F(TSSessionTest, EmptyCredentialsFailWithoutAskingTheDms) {
    // A pending login fault would be used up by any login call that reached the DMS.
    Fault(L"Login", E_FAIL, 1);
    EXPECT_FALSE(manager_->Login(L"alpha", false, L"ann", L""));
    EXPECT_FALSE(manager_->Login(L"alpha", false, L"", L"pw1"));
    EXPECT_EQ(SessionCount(), 0);
    EXPECT_FALSE(manager_->Login(L"alpha", false, L"ann", L"pw1"));  // the fault was still there
    EXPECT_TRUE(manager_->Login(L"alpha", false, L"ann", L"pw1"));
}

TEST_F(TSSessionTest, TrustedLogin) {
    EXPECT_TRUE(manager_->Login(L"alpha", true, L"", L""));
    EXPECT_TRUE(LoggedIn(L"alpha"));
    // Refused (S_OK with a non-zero answer) is a failure too, and leaves no session.
    EXPECT_FALSE(manager_->Login(L"beta", true, L"", L""));
    EXPECT_FALSE(LoggedIn(L"beta"));
    EXPECT_EQ(SessionCount(), 1);
}

TEST_F(TSSessionTest, LogoutEndsAndRemovesTheSessionUnlessItFailsOrIsRefused) {
    ASSERT_TRUE(manager_->Login(L"alpha", false, L"ann", L"pw1"));
    Fault(L"Logout", E_FAIL, 1);
    EXPECT_FALSE(manager_->Logout(L"alpha"));
    EXPECT_TRUE(LoggedIn(L"alpha"));
    ASSERT_EQ(tessera::AddRefusal(store_.path(), L"Logout", 1), S_OK);
    EXPECT_FALSE(manager_->Logout(L"alpha"));
    EXPECT_TRUE(LoggedIn(L"alpha"));
    EXPECT_TRUE(manager_->Logout(L"alpha"));
    EXPECT_EQ(SessionCount(), 0);
}

TEST_F(TSSessionTest, GetDocumentOnlyThroughAConnectedServer) {
    servers_.AddServer(L"alpha", L"ann", L"pw1", false, false);
    EXPECT_EQ(manager_->GetDocument(L"alpha", L"Main", 7, 1), nullptr);  // configured, not connected

    TSServerEntry* entry = servers_.FindServer(L"alpha");
    entry->connected = manager_->Login(L"alpha", false, L"ann", L"pw1");
    ASSERT_TRUE(entry->connected);
    DmsDocumentPtr holder = manager_->GetDocument(L"alpha", L"Main", 7, 1);
    ASSERT_NE(holder, nullptr);
    ASSERT_NE(holder->document, nullptr);
    EXPECT_EQ(TesseraGetText(holder->document.GetInterfacePtr(), &ITesseraDocument::get_Name), L"Contract");
    long number = 0;
    EXPECT_EQ(holder->document->get_Number(&number), S_OK);
    EXPECT_EQ(number, 7);

    EXPECT_EQ(manager_->GetDocument(L"alpha", L"Main", 8, 1), nullptr);
    EXPECT_EQ(manager_->GetDocument(L"alpha", L"Main", 7, 2), nullptr);
    EXPECT_EQ(manager_->GetDocument(L"alpha", L"Main", -7, 1), nullptr);
    EXPECT_EQ(manager_->GetDocument(L"alpha", L"Main", 7, -1), nullptr);
    EXPECT_EQ(manager_->GetDocument(L"alpha", L"", 7, 1), nullptr);
    EXPECT_EQ(manager_->GetDocument(L"Alpha", L"Main", 7, 1), nullptr);
    EXPECT_EQ(manager_->GetDocument(L"alpha", L"Other", 7, 1), nullptr);
    Fault(L"GetDocument", E_FAIL, 1);
    EXPECT_EQ(manager_->GetDocument(L"alpha", L"Main", 7, 1), nullptr);

    // The holder keeps its own reference: it outlives the session and the manager.
    manager_.reset();
    long version = 0;
    EXPECT_EQ(holder->document->get_Version(&version), S_OK);
    EXPECT_EQ(version, 1);
}

TEST_F(TSSessionTest, AnyServerConnectedAsksTheHostFirst) {
    servers_.AddServer(L"a", L"", L"", false, false);
    servers_.AddServer(L"b", L"", L"", false, false);
    size_t before = host().JournalCount("query:43");
    EXPECT_FALSE(manager_->IsAnyServerConnected());
    EXPECT_EQ(host().JournalCount("query:43"), before + 1);
    servers_.FindServer(L"a")->connected = true;
    EXPECT_TRUE(manager_->IsAnyServerConnected());
    EXPECT_EQ(host().JournalCount("query:43"), before + 2);
}

}  // namespace
