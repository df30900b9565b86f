#include "Store.h"
#include "StoreFixture.h"

namespace tessera::test {
namespace {

TEST(StoreFormat, FieldsSurviveTabsLineBreaksAndPercentSigns) {
    StoreData data;
    data.servers = {L"DMS 1"};
    data.databases = {{L"DMS 1", L"Legal"}};
    data.users = {{L"DMS 1", L"jdoe", L"p%09w\td", L"John\r\nDoe", true}};
    StoreDocument doc;
    doc.server = L"DMS 1";
    doc.database = L"Legal";
    doc.number = 7;
    doc.extension = L"pdf";
    doc.description = L"100% \"Lease\"\twith tab";
    doc.rights = -1;
    doc.versions = {{1, L"content\\a.dat"}, {3, L"content\\b.dat"}};
    doc.lock = StoreLock{L"jdoe", 3, L"C:\\Temp\\VRL0\\7_3.pdf"};
    doc.noCheckIn = {L"user7"};
    data.documents.push_back(doc);
    data.deleted = {{L"DMS 1", L"Legal", 9}};

    StoreData back;
    ASSERT_EQ(S_OK, ParseStore(FormatStore(data), &back));
    ASSERT_EQ(1u, back.users.size());
    EXPECT_EQ(L"p%09w\td", back.users[0].password);
    EXPECT_EQ(L"John\r\nDoe", back.users[0].fullName);
    EXPECT_TRUE(back.users[0].trusted);
    ASSERT_EQ(1u, back.documents.size());
    const StoreDocument& got = back.documents[0];
    EXPECT_EQ(doc.description, got.description);
    EXPECT_EQ(-1, got.rights);
    ASSERT_EQ(2u, got.versions.size());
    EXPECT_EQ(3, got.LatestVersion());
    EXPECT_EQ(L"content\\b.dat", got.versions[1].content);
    ASSERT_TRUE(got.lock);
    EXPECT_EQ(L"C:\\Temp\\VRL0\\7_3.pdf", got.lock->path);
    EXPECT_EQ(3, got.lock->version);
    EXPECT_FALSE(got.MayCheckIn(L"USER7"));
    EXPECT_TRUE(got.MayCheckIn(L"jdoe"));
    EXPECT_EQ(10, back.NextNumber(L"DMS 1", L"Legal")) << "a deleted number is not given out again";
}

TEST(StoreFormat, InconsistentStoresAreRejected) {
    StoreData data;
    const wchar_t* broken[] = {
        L"database\tDMS1\tLegal\r\n",                                      // server not declared
        L"server\tDMS1\r\nversion\tDMS1\tLegal\t1\t1\tc.dat\r\n",         // version of no document
        L"server\tDMS1\r\nserver-ish\tDMS1\r\n",                           // unknown record
        L"server\tDMS1\r\ndatabase\tDMS1\tL\r\n"
        L"document\tDMS1\tL\t1\tpdf\t\t\t\t0\r\ndocument\tDMS1\tL\t1\tpdf\t\t\t\t0\r\n",  // number twice
        L"server\tDMS1\r\ndatabase\tDMS1\tL\r\ndocument\tDMS1\tL\tone\tpdf\t\t\t\t0\r\n",  // not a number
        L"server\tDMS1\r\ndatabase\tDMS1\tL\r\nno-checkin\tDMS1\tL\t1\tjdoe\r\n",          // of no document
        L"server\tDMS1\r\ndatabase\tDMS1\tL\r\ndocument\tDMS1\tL\t1\tpdf\t\t\t\t0\r\n"
        L"deleted\tDMS1\tL\t1\r\n",                                                          // deleted, yet there
    };
    for (const wchar_t* text : broken) EXPECT_EQ(TESSERA_E_BAD_STORE, ParseStore(text, &data)) << text;
    EXPECT_EQ(S_OK, ParseStore(L"# comment only\r\n\r\n", &data));
}

TEST(StoreFormat, FaultLinesNameOperationCodeAndCount) {
    std::vector<StoreFault> faults;
    ASSERT_EQ(S_OK, ParseFaults(L"CheckOut 0x80042249 2\nCheckIn refuse\n# note\nLogin -2147467259\n", &faults));
    ASSERT_EQ(3u, faults.size());
    EXPECT_EQ(TESSERA_E_IN_USE, faults[0].hr);
    EXPECT_EQ(2, faults[0].remaining);
    EXPECT_TRUE(faults[1].refuse);
    EXPECT_EQ(0, faults[1].remaining);
    EXPECT_EQ(E_FAIL, faults[2].hr) << "decimal codes keep their bits";
    for (const wchar_t* bad : {L"CheckOut 0\n", L"CheckOut\n", L"CheckIn hang\n", L"CheckIn hang 0\n",
                               L"CheckIn hang 2s\n", L"CheckIn hang 2 1 1\n"})
        EXPECT_EQ(TESSERA_E_BAD_STORE, ParseFaults(bad, &faults)) << bad;

    // Counting down rewrites the file: a hang keeps its seconds and count.
    ASSERT_EQ(S_OK, ParseFaults(L"CheckIn HANG 30 2\nCheckIn 0x80070005 1\nUnlock hang 5\n", &faults));
    ASSERT_EQ(S_OK, ParseFaults(FormatFaults(faults), &faults));
    ASSERT_EQ(3u, faults.size());
    EXPECT_EQ(StoreFault::Kind::Hang, faults[0].kind);
    EXPECT_EQ(30, faults[0].seconds);
    EXPECT_EQ(2, faults[0].remaining);
    EXPECT_EQ(E_ACCESSDENIED, faults[1].hr);
    EXPECT_EQ(5, faults[2].seconds);
    EXPECT_EQ(0, faults[2].remaining);
}

class TransactionTest : public StoreTest {};

TEST_F(TransactionTest, CountedFaultsAreUsedUpAndOthersStay) {
    ASSERT_EQ(S_OK, AddFault(Store(), L"CheckOut", E_ACCESSDENIED, 2));
    ASSERT_EQ(S_OK, AddRefusal(Store(), L"CheckIn", 0));
    StoreTransaction tx(Store());
    ASSERT_EQ(S_OK, tx.Status());
    bool refused = false;
    EXPECT_EQ(E_ACCESSDENIED, tx.TakeFault(L"checkout", &refused));
    EXPECT_EQ(E_ACCESSDENIED, tx.TakeFault(L"CheckOut", &refused));
    EXPECT_EQ(S_OK, tx.TakeFault(L"CheckOut", &refused));
    EXPECT_FALSE(refused);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(S_OK, tx.TakeFault(L"CheckIn", &refused));
        EXPECT_TRUE(refused);
    }
    EXPECT_EQ(S_OK, tx.TakeFault({L"Execute", L"OpenExecute"}, &refused));
    EXPECT_FALSE(refused);
}

TEST_F(TransactionTest, SeedingRefusesDuplicatesAndUnknownParents) {
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), AddServer(Store(), L"dms1"));
    EXPECT_EQ(TESSERA_E_NO_SERVER, AddDatabase(Store(), L"DMS9", L"Legal"));
    NewDocument doc;
    doc.server = L"DMS1";
    doc.database = L"Legal";
    doc.number = 1234;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), AddDocument(Store(), doc, nullptr));
    doc.number = 0;
    long number = 0;
    ASSERT_EQ(S_OK, AddDocument(Store(), doc, &number));
    EXPECT_EQ(1236, number) << "the next number after the highest of the database";

    std::vector<DocumentInfo> docs;
    ASSERT_EQ(S_OK, ListDocuments(Store(), &docs));
    ASSERT_EQ(4u, docs.size());
    EXPECT_EQ(L"Finance", docs[0].database);
    EXPECT_EQ(0, docs[3].size) << "a document without content file is empty";
    EXPECT_EQ(L"pdf", docs[3].extension);
}

}  // namespace
}  // namespace tessera::test
