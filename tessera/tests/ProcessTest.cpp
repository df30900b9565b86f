// Another process on the same store: tessera-store.exe stands in for a second user's client.
#include <atomic>
#include <thread>

#include "StoreFixture.h"

namespace tessera::test {
namespace {

class ProcessTest : public ComTest {
protected:
    // Runs tessera-store.exe on this test's store (through TESSERA_STORE, which it inherits).
    DWORD Tool(const std::wstring& arguments, std::string* output = nullptr) {
        std::string ignored;
        return vxhost::RunProgram(L"\"" + vxhost::ProgramFolder() + L"\\tessera-store.exe\" " + arguments,
                                  output ? output : &ignored);
    }
    // Whether another process holds the store lock now.
    bool StoreHeldElsewhere() {
        UniqueHandle file(CreateFileW((Store() + L"\\store.lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        OVERLAPPED at = {};
        if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return true;
        UnlockFileEx(file.get(), 0, 1, 0, &at);
        return false;
    }
};

TEST_F(ProcessTest, AnotherProcessSeesTheCheckOut) {
    auto document = Lease();
    ASSERT_EQ(S_OK, document->CheckOut(B(Scratch(L"1234_1.pdf").c_str()).get(), 1, 0.0, B(L"").get()));

    std::string listing;
    ASSERT_EQ(0u, Tool(L"list", &listing));
    EXPECT_NE(std::string::npos, listing.find("DMS1\tLegal\t1234\t1\t8\tpdf\tLease\tjdoe")) << listing;
    EXPECT_NE(std::string::npos, listing.find("DMS1\tLegal\t1235\t1\t4\tdocx\tMemo\t\r\n")) << listing;
    EXPECT_NE(0u, Tool(L"lock DMS1 Legal 1234 1 user7")) << "a second check-out is refused there too";
}

TEST_F(ProcessTest, ALockTakenElsewhereMakesTheDocumentInUse) {
    auto document = Lease();
    ASSERT_EQ(0u, Tool(L"lock DMS1 Legal 1234 1 user7"));

    std::wstring local = Scratch(L"1234_1.pdf");
    EXPECT_EQ(TESSERA_E_IN_USE, document->CheckOut(B(local.c_str()).get(), 1, 0.0, B(L"").get()));
    EXPECT_FALSE(TempFolder::Exists(local));
    ComRef<ITesseraUser> holder;
    ASSERT_EQ(S_OK, document->get_CheckedOutBy(holder.put()));
    ASSERT_TRUE(holder);
    UniqueBstr id, name;
    EXPECT_EQ(S_OK, holder->get_UserId(id.put()));
    EXPECT_EQ(S_OK, holder->get_FullName(name.put()));
    EXPECT_EQ(L"user7", Text(id));
    EXPECT_EQ(L"", Text(name));

    std::string said;
    ASSERT_EQ(0u, Tool(L"unlock DMS1 Legal 1234", &said));
    EXPECT_EQ("released\r\n", said);
    EXPECT_EQ(S_OK, document->CheckOut(B(local.c_str()).get(), 1, 0.0, B(L"").get()));
}

TEST_F(ProcessTest, ToolSeedsDocumentsAndFaultsTheObjectsSee) {
    std::wstring file = scratch_.Write(L"Contract.Final.txt", "twelve bytes");
    std::string number;
    ASSERT_EQ(0u, Tool(L"add-document DMS1 Legal \"" + file + L"\" --author user7 --number 50", &number));
    EXPECT_EQ("50\r\n", number);
    ASSERT_EQ(0u, Tool(L"fault add CheckOut 0x80070005 1"));

    auto dms = CreateDms();
    auto session = LoggedIn(dms.get(), L"user7", L"pw7");
    auto document = GetDocument(session.get(), L"Legal", 50, 1);
    ASSERT_TRUE(document);
    long size = 0;
    UniqueBstr description, extension;
    EXPECT_EQ(S_OK, document->get_Size(&size));
    EXPECT_EQ(S_OK, document->get_Description(description.put()));
    EXPECT_EQ(S_OK, document->get_Extension(extension.put()));
    EXPECT_EQ(12, size);
    EXPECT_EQ(L"Contract.Final", Text(description));
    EXPECT_EQ(L"txt", Text(extension));

    std::wstring local = Scratch(L"50_1.txt");
    EXPECT_EQ(E_ACCESSDENIED, document->CheckOut(B(local.c_str()).get(), 1, 0.0, B(L"").get()));
    EXPECT_EQ(S_OK, document->CheckOut(B(local.c_str()).get(), 1, 0.0, B(L"").get()));
}

// A hang holds up only the call that meets it, leaving the store to the process's other threads and
// to other processes, then the call goes on, or fails when a failure of the operation waits behind
// the hang line.
TEST_F(ProcessTest, AHangBlocksItsCallOnlyThenTheCallGoesOnOrFails) {
    auto document = Lease();
    std::wstring local = Scratch(L"1234_1.pdf");
    const struct {
        long hangs;                  // the hang's count; 0: until cleared (before the last call)
        const wchar_t* failure;      // a fault line behind the hang, or null
        std::vector<HRESULT> calls;  // what each check-out answers; all but the last hang first
    } cases[] = {{1, nullptr, {S_OK, S_OK}}, {0, L"CheckOut 0x80070005 1", {E_ACCESSDENIED, S_OK, S_OK}}};
    for (const auto& c : cases) {
        ASSERT_EQ(0u, Tool(L"fault add CheckOut hang 1 " + std::to_wstring(c.hangs)));
        ASSERT_EQ(0u, c.failure ? Tool(L"fault add " + std::wstring(c.failure)) : 0u);
        for (size_t i = 0; i < c.calls.size(); ++i) {
            bool last = i + 1 == c.calls.size();
            ASSERT_EQ(S_OK, last && c.hangs == 0 ? ClearFaults(Store()) : S_OK);
            HRESULT hr = E_FAIL;
            std::atomic<bool> done{false};
            ULONGLONG start = GetTickCount64(), took = 0;
            std::thread caller([&] {
                hr = document->CheckOut(B(local.c_str()).get(), 1, 0.0, B(L"").get());
                took = GetTickCount64() - start;
                done = true;
            });
            if (!last) {
                Sleep(200);
                VARIANT_BOOL checkedOut = VARIANT_TRUE;
                std::string listing;
                EXPECT_EQ(S_OK, document->get_IsCheckedOut(&checkedOut));
                EXPECT_EQ(0u, Tool(L"list", &listing));
                EXPECT_FALSE(done) << "this thread and the tool were served during the hang";
                EXPECT_EQ(VARIANT_FALSE, checkedOut) << "the hung call has not acted yet";
                EXPECT_NE(std::string::npos, listing.find("1234\t1\t8\tpdf\tLease\t\r\n")) << listing;
            }
            caller.join();
            EXPECT_EQ(c.calls[i], hr) << "case " << c.hangs << ", call " << i;
            if (last) {
                EXPECT_LT(took, 500u);
            } else {
                EXPECT_GE(took, 900u);
            }
            VARIANT_BOOL released = VARIANT_FALSE;
            EXPECT_EQ(S_OK, hr == S_OK ? document->Unlock(&released) : S_OK);
        }
    }
}

// A document reports what the object took when it was made, without the store: all of it answers
// at once while another process keeps the store locked.
TEST_F(ProcessTest, DocumentReportsItsRecordWhileAnotherProcessHoldsTheStore) {
    auto document = Lease();
    auto memo = GetDocument(session_.get(), L"Legal", 1235, 1);
    ASSERT_TRUE(document && memo);
    std::thread holder([&] { EXPECT_EQ(0u, Tool(L"hold 3")); });
    bool held = false;
    for (int i = 0; i < 100 && !(held = StoreHeldElsewhere()); ++i) Sleep(50);
    ASSERT_TRUE(held);
    ULONGLONG start = GetTickCount64();

    long number = 0, version = 0, size = 0, rights = 0;
    UniqueBstr extension, description, name, authorId, authorName, databaseName, serverName;
    EXPECT_EQ(S_OK, document->get_Number(&number));
    EXPECT_EQ(S_OK, document->get_Version(&version));
    EXPECT_EQ(S_OK, document->get_Size(&size));
    EXPECT_EQ(S_OK, document->get_AccessRights(&rights));
    EXPECT_EQ(S_OK, document->get_Extension(extension.put()));
    EXPECT_EQ(S_OK, document->get_Description(description.put()));
    EXPECT_EQ(S_OK, document->get_Name(name.put()));
    ComRef<ITesseraUser> author;
    ASSERT_EQ(S_OK, document->get_Author(author.put()));
    ASSERT_TRUE(author);
    EXPECT_EQ(S_OK, author->get_UserId(authorId.put()));
    EXPECT_EQ(S_OK, author->get_FullName(authorName.put()));
    ComRef<ITesseraDatabase> database;
    ComRef<ITesseraSession> owner;
    ASSERT_EQ(S_OK, document->get_Database(database.put()));
    EXPECT_EQ(S_OK, database->get_Name(databaseName.put()));
    ASSERT_EQ(S_OK, database->get_Session(owner.put()));
    EXPECT_EQ(S_OK, owner->get_ServerName(serverName.put()));
    // A document without an author gives none.
    ComRef<ITesseraUser> nobody;
    EXPECT_EQ(S_OK, memo->get_Author(nobody.put()));

    EXPECT_LT(GetTickCount64() - start, 1000u);
    EXPECT_TRUE(StoreHeldElsewhere()) << "the store was held throughout";
    EXPECT_EQ(1234, number);
    EXPECT_EQ(1, version);
    EXPECT_EQ(8, size);  // "lease-v1"
    EXPECT_EQ(3, rights);
    EXPECT_EQ(L"pdf", Text(extension));
    EXPECT_EQ(L"Lease", Text(description));
    EXPECT_EQ(L"", Text(name));
    EXPECT_EQ(L"jdoe", Text(authorId));
    EXPECT_EQ(L"John Doe", Text(authorName));
    EXPECT_EQ(L"Legal", Text(databaseName));
    EXPECT_EQ(L"DMS1", Text(serverName));
    EXPECT_FALSE(nobody);
    holder.join();
}

TEST_F(ProcessTest, ToolPresetsDriveTheCommands) {
    ASSERT_EQ(0u, Tool(L"preset open Finance 1 1 Legal 1234 1"));
    auto dms = CreateDms();
    auto session = LoggedIn(dms.get(), L"jdoe", L"secret");
    ComRef<ITesseraCommandContext> context;
    ComRef<ITesseraCommand> open;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TesseraCommandContext, nullptr, CLSCTX_ALL,
                                     __uuidof(ITesseraCommandContext), context.put_void()));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TesseraOpenCommand, nullptr, CLSCTX_ALL, __uuidof(ITesseraCommand),
                                     open.put_void()));
    Variant item;
    item.get()->vt = VT_UNKNOWN;
    item.get()->punkVal = dms.get();
    dms->AddRef();
    ASSERT_EQ(S_OK, context->AddItem(B(L"TesseraDMS").get(), *item.get()));
    item.put()->vt = VT_BOOL;
    item.get()->boolVal = VARIANT_TRUE;
    ASSERT_EQ(S_OK, context->AddItem(B(L"TesseraExt2.MultiFileSelection").get(), *item.get()));
    ASSERT_EQ(S_OK, open->Initialize(context.get()));
    ASSERT_EQ(S_OK, open->Execute());
    Variant selected;
    ASSERT_EQ(S_OK, context->get_Item(B(L"SelectedTesseraObjects").get(), selected.put()));
    ASSERT_EQ(VT_ARRAY | VT_DISPATCH, selected.get()->vt);
    EXPECT_EQ(2u, selected.get()->parray->rgsabound[0].cElements);
}

// What another process's administrator does reaches the objects here at once: a check-in right
// taken away refuses that user's check-in (and no other's) until it is given back; a deleted
// document is gone, also for an object made before, and its number is not given out again.
TEST_F(ProcessTest, RightsTakenAndDocumentsDeletedElsewhereAreRefusedHere) {
    auto document = Lease();
    std::wstring local = Scratch(L"1234_1.pdf");
    ASSERT_EQ(S_OK, document->CheckOut(B(local.c_str()).get(), 1, 0.0, B(L"").get()));
    const struct {
        const wchar_t* tool;
        const char* content;
        bool checkedIn;
        const char* stored;  // the listing's line of version 1 up to its size
    } steps[] = {{L"deny-checkin DMS1 Legal 1234 user7", "one", true, "1234\t1\t3\t"},
                 {L"deny-checkin DMS1 Legal 1234 JDOE", "refused", false, "1234\t1\t3\t"},
                 {L"allow-checkin DMS1 Legal 1234 jdoe", "three", true, "1234\t1\t5\t"}};
    for (const auto& step : steps) {
        ASSERT_EQ(0u, Tool(step.tool));
        scratch_.Write(L"1234_1.pdf", step.content);
        ComRef<IUnknown> result;
        EXPECT_EQ(S_OK, document->CheckIn(B(local.c_str()).get(), 2, 1, nullptr, result.put()));
        EXPECT_EQ(step.checkedIn, result.get() != nullptr) << step.tool;
        std::string listing;
        ASSERT_EQ(0u, Tool(L"list", &listing));
        EXPECT_NE(std::string::npos, listing.find(std::string(step.stored) + "pdf\tLease\tjdoe")) << listing;
    }

    ASSERT_EQ(0u, Tool(L"delete DMS1 Legal 1235"));
    ASSERT_EQ(0u, Tool(L"delete DMS1 Legal 1234"));
    ComRef<IUnknown> result;
    VARIANT_BOOL flag = VARIANT_FALSE;
    ComRef<ITesseraUser> holder;
    HRESULT gone[] = {document->CheckIn(B(local.c_str()).get(), 0, 0, nullptr, result.put()),
                      document->Unlock(&flag),
                      document->CheckOut(B(Scratch(L"again.pdf").c_str()).get(), 1, 0.0, B(L"").get()),
                      document->get_IsCheckedOut(&flag),
                      document->get_CheckedOutBy(holder.put())};
    for (HRESULT hr : gone) EXPECT_EQ(TESSERA_E_NOT_FOUND, hr);
    HRESULT hr = S_OK;
    EXPECT_FALSE(GetDocument(session_.get(), L"Legal", 1234, 1, &hr));
    EXPECT_EQ(TESSERA_E_NOT_FOUND, hr);
    std::string listing, number;
    ASSERT_EQ(0u, Tool(L"list", &listing));
    EXPECT_EQ(std::string::npos, listing.find("\tLegal\t")) << listing;
    ASSERT_EQ(0u, Tool(L"add-document DMS1 Legal \"" + local + L"\"", &number));
    EXPECT_EQ("1236\r\n", number);
}

TEST_F(ProcessTest, ToolRejectsBadUsage) {
    EXPECT_EQ(1u, Tool(L"lock DMS1 Legal not-a-number 1 user7"));
    EXPECT_EQ(1u, Tool(L"frobnicate"));
    EXPECT_EQ(2u, Tool(L"add-database DMS9 Legal")) << "an unknown server";
    EXPECT_EQ(2u, Tool(L"deny-checkin DMS1 Legal 1234 nobody")) << "an unknown user";
    EXPECT_EQ(2u, Tool(L"delete DMS1 Legal 4321")) << "an unknown document";
}

}  // namespace
}  // namespace tessera::test
