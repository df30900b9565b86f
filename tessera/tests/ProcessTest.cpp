// Another process on the same store: tessera-store.exe stands in for a second user's client.
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

TEST_F(ProcessTest, ToolRejectsBadUsage) {
    EXPECT_EQ(1u, Tool(L"lock DMS1 Legal not-a-number 1 user7"));
    EXPECT_EQ(1u, Tool(L"frobnicate"));
    EXPECT_EQ(2u, Tool(L"add-database DMS9 Legal")) << "an unknown server";
}

}  // namespace
}  // namespace tessera::test
