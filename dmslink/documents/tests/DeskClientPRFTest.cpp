#include "DocumentsFixture.h"

namespace {

class DeskClientPRFTest : public DocumentsTest {
protected:
    void SetUp() override {
        DocumentsTest::SetUp();
        document_ = files_ / L"Lease.pdf";
        ASSERT_TRUE(VxWriteFile(document_, "x"));
    }
    std::string Lines(const std::string& file, const std::string& tail) {
        return "[Tessera]\r\nFILE=" + file + "\r\nDOCID=!session:SRV1:!DOCS:1234:2\r\n" + tail;
    }
    std::string Standard(const std::string& tail = "DB=DOCS\r\nNUM=1234\r\nVER=2\r\nDESCRIPTION=Lease\r\n") {
        return Lines(vxhost::ToUtf8(document_), tail);
    }
    void WritePrf(const std::string& ansi) { ASSERT_TRUE(VxWriteFile(files_ / L"Lease.PRF", ansi)); }
    void WritePrfUtf16(const std::string& ansi) {
        std::string bytes = "\xFF\xFE";
        for (char c : ansi) {
            bytes += c;
            bytes += '\0';
        }
        ASSERT_TRUE(VxWriteFile(files_ / L"Lease.PRF", bytes));
    }
    struct Details {
        bool ok = false;
        long number = 0, version = 0;
        std::wstring name, database, server;
    };
    Details Read() {
        Details d;
        d.ok = docs_->GetDeskClientDataDetails(document_, &d.number, &d.version, &d.name, &d.database, &d.server);
        return d;
    }

    std::wstring document_;
};

TEST_F(DeskClientPRFTest, AnsiAndUtf16FilesGiveTheSameDetails) {
    std::string upper = vxhost::ToUtf8(document_);
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    for (bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16 ? "UTF-16" : "ANSI");
        std::string text = Lines(upper, "DB=DOCS\r\nNUM=1234\r\nVER=2\r\nDESCRIPTION=Lease\r\n");
        if (utf16) WritePrfUtf16(text);
        else WritePrf(text);
        Details d = Read();
        EXPECT_TRUE(d.ok);
        EXPECT_EQ(d.number, 1234);
        EXPECT_EQ(d.version, 2);
        EXPECT_EQ(d.name, L"Lease.pdf");
        EXPECT_EQ(d.database, L"DOCS");
        EXPECT_EQ(d.server, L"SRV1");
    }
}

TEST_F(DeskClientPRFTest, LineBreaksDelimitKeysAndValues) {
    WritePrf(Standard("DB=DOCS\r\nNUM=1234\r\nVER=2\r\nDESCRIPTION=Lease"));
    EXPECT_FALSE(Read().ok);
    std::string firstLine = Standard();
    WritePrf(firstLine.substr(firstLine.find("FILE=")));
    EXPECT_FALSE(Read().ok);
    WritePrf("[Tessera]\r\nDB=DOCS\r\nNUM=1234\r\nVER=2\r\nDESCRIPTION=Lease\r\nFILE=" + vxhost::ToUtf8(document_) +
             "\r\nDOCID=!session:SRV1:!\r\n");
    EXPECT_FALSE(Read().ok);  // keys before DOCID do not count
    WritePrf(Lines(vxhost::ToUtf8(files_ / L"Other.pdf"), "DB=DOCS\r\nNUM=1\r\nVER=2\r\nDESCRIPTION=Lease\r\n"));
    EXPECT_FALSE(Read().ok);
}

TEST_F(DeskClientPRFTest, NumbersAndDescriptionsAsTheClientWritesThem) {
    WritePrf(Standard("DB=DOCS\r\nNUM=12abc\r\nVER=2\r\nDESCRIPTION=\r\n"));
    Details d = Read();
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.number, 12);
    EXPECT_EQ(d.name, L".pdf");
    WritePrf(Standard("DB=DOCS\r\nNUM=\r\nVER=2\r\nDESCRIPTION=Lease\r\n"));
    d = Read();
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.number, 0);
    WritePrf(Standard("DB=DOCS\r\nNUM=5\r\nVER=-1\r\nDESCRIPTION=Lease\r\n"));
    EXPECT_FALSE(Read().ok);
    WritePrf(Standard("DB=\r\nNUM=5\r\nVER=1\r\nDESCRIPTION=Lease\r\n"));
    EXPECT_FALSE(Read().ok);
}

TEST_F(DeskClientPRFTest, OnlyTheFirst10240BytesAreRead) {
    WritePrf(Standard("DB=DOCS\r\nNUM=1234\r\nVER=2\r\n" + std::string(10240, ' ') + "\r\nDESCRIPTION=Lease\r\n"));
    EXPECT_FALSE(Read().ok);
}

TEST_F(DeskClientPRFTest, ThePrfFileSitsBesideTheDocument) {
    EXPECT_EQ(docs_->GetPRFFileName(files_ / L"Contract.final.pdf"), files_ / L"Contract.final.PRF");
    EXPECT_EQ(docs_->GetPRFFileName(files_ / L"README"), files_ / L"README.PRF");
}

TEST_F(DeskClientPRFTest, ADescribedDocumentIsTrackedOnceWithoutARecordFile) {
    WritePrf(Standard());
    ASSERT_TRUE(docs_->CheckDeskClientData(nullptr, document_, Lookup()));
    ASSERT_EQ(docs_->GetCount(), 1);
    TrackedDocument* record = docs_->GetDocumentAt(0);
    EXPECT_TRUE(record->fromDeskClient);
    EXPECT_EQ(record->deskClientName, L"Lease.pdf");
    EXPECT_FALSE(Exists(files_ / L"TSFile.dat"));
    EXPECT_FALSE(docs_->CheckDeskClientData(nullptr, document_, Lookup()));
    EXPECT_EQ(docs_->GetCount(), 1);

    servers_.FindServer(L"SRV1")->connected = false;
    docs_->RemoveDoc(0);
    EXPECT_FALSE(docs_->CheckDeskClientData(nullptr, document_, Lookup()));  // the server is not connected
}

}  // namespace
