#include <optional>
#include <thread>
#include <vector>

#include "StoreFixture.h"

namespace tessera::test {
namespace {

class ObjectsTest : public ComTest {
protected:
    // The store's entry for a version of a Legal document; null when there is none.
    std::optional<DocumentInfo> Stored(long number, long version) {
        std::vector<DocumentInfo> docs;
        EXPECT_EQ(S_OK, ListDocuments(Store(), &docs));
        for (const auto& d : docs)
            if (d.database == L"Legal" && d.number == number && d.version == version) return d;
        return std::nullopt;
    }
};

TEST_F(ObjectsTest, LoginChecksTheStoreUsers) {
    auto dms = CreateDms();
    ComRef<ITesseraSessions> sessions;
    ComRef<ITesseraSession> session;
    ASSERT_EQ(S_OK, dms->get_Sessions(sessions.put()));
    ASSERT_EQ(S_OK, sessions->Add(B(L"dms1").get(), session.put()));
    long result = 0;
    VARIANT_BOOL loggedIn = VARIANT_TRUE;

    EXPECT_EQ(S_OK, session->Login(B(L"jdoe").get(), B(L"wrong").get(), &result));
    EXPECT_EQ(kLoginRefused, result);
    EXPECT_EQ(S_OK, session->Login(B(L"nobody").get(), B(L"secret").get(), &result));
    EXPECT_EQ(kLoginRefused, result);
    EXPECT_EQ(S_OK, session->get_LoggedIn(&loggedIn));
    EXPECT_EQ(VARIANT_FALSE, loggedIn);

    EXPECT_EQ(S_OK, session->Login(B(L"JDOE").get(), B(L"secret").get(), &result));
    EXPECT_EQ(0, result);
    EXPECT_EQ(S_OK, session->get_LoggedIn(&loggedIn));
    EXPECT_EQ(VARIANT_TRUE, loggedIn);

    EXPECT_EQ(S_OK, session->Logout(&result));
    EXPECT_EQ(0, result);
    ComRef<ITesseraDatabases> databases;
    EXPECT_EQ(TESSERA_E_NOT_LOGGED_IN, session->get_Databases(databases.put()));
}

TEST_F(ObjectsTest, LoginToAnUnknownServerFails) {
    auto dms = CreateDms();
    ComRef<ITesseraSessions> sessions;
    ComRef<ITesseraSession> session;
    ASSERT_EQ(S_OK, dms->get_Sessions(sessions.put()));
    ASSERT_EQ(S_OK, sessions->Add(B(L"Elsewhere").get(), session.put()));
    long result = 0;
    EXPECT_EQ(TESSERA_E_NO_SERVER, session->Login(B(L"jdoe").get(), B(L"secret").get(), &result));
    EXPECT_NE(0, result);
    EXPECT_EQ(TESSERA_E_NO_SERVER, session->TrustedLogin(&result));
}

TEST_F(ObjectsTest, TrustedLoginNeedsTheWindowsUserMarkedTrusted) {
    auto dms = CreateDms();
    ComRef<ITesseraSessions> sessions;
    ComRef<ITesseraSession> session;
    ASSERT_EQ(S_OK, dms->get_Sessions(sessions.put()));
    ASSERT_EQ(S_OK, sessions->Add(B(L"DMS1").get(), session.put()));
    long result = -1;
    EXPECT_EQ(S_OK, session->TrustedLogin(&result));
    EXPECT_EQ(0, result);

    ASSERT_EQ(S_OK, AddServer(Store(), L"DMS2"));
    ASSERT_EQ(S_OK, AddUser(Store(), L"DMS2", WindowsUserName(), L"x", L"", false));
    ComRef<ITesseraSession> other;
    ASSERT_EQ(S_OK, sessions->Add(B(L"DMS2").get(), other.put()));
    EXPECT_EQ(S_OK, other->TrustedLogin(&result));
    EXPECT_EQ(kLoginNotTrusted, result);
}

TEST_F(ObjectsTest, SessionsAreKeptPerServerName) {
    auto dms = CreateDms();
    ComRef<ITesseraSessions> sessions;
    ASSERT_EQ(S_OK, dms->get_Sessions(sessions.put()));
    ComRef<ITesseraSession> missing, first, again, found;
    long count = -1;
    EXPECT_EQ(TESSERA_E_NO_SESSION, sessions->get_Item(B(L"DMS1").get(), missing.put()));
    EXPECT_FALSE(missing);
    ASSERT_EQ(S_OK, sessions->Add(B(L"DMS1").get(), first.put()));
    ASSERT_EQ(S_OK, sessions->Add(B(L"DMS1").get(), again.put()));
    EXPECT_EQ(first.get(), again.get());
    ASSERT_EQ(S_OK, sessions->get_Item(B(L"dms1").get(), found.put()));
    EXPECT_EQ(first.get(), found.get());
    EXPECT_EQ(S_OK, sessions->get_Count(&count));
    EXPECT_EQ(1, count);

    // The DMS object hands out its one collection.
    ComRef<ITesseraSessions> same;
    ASSERT_EQ(S_OK, dms->get_Sessions(same.put()));
    EXPECT_EQ(sessions.get(), same.get());

    EXPECT_EQ(S_OK, sessions->Remove(B(L"DMS1").get()));
    EXPECT_EQ(S_OK, sessions->get_Count(&count));
    EXPECT_EQ(0, count);
    EXPECT_EQ(TESSERA_E_NO_SESSION, sessions->get_Item(B(L"DMS1").get(), found.put()));
}

TEST_F(ObjectsTest, ObjectsAnswerOnlyTheirInterfaces) {
    auto document = Lease();
    ComRef<IUnknown> none;
    EXPECT_EQ(E_NOINTERFACE, dms_->QueryInterface(IID_IRunnableObject, none.put_void()));
    EXPECT_FALSE(none);
    EXPECT_EQ(E_NOINTERFACE, dms_->QueryInterface(__uuidof(ITesseraDocument), none.put_void()));
    ASSERT_TRUE(document);
    auto record = document.As<ITesseraRecord>();
    ASSERT_TRUE(record);
    // One object behind both interfaces: the same identity.
    auto fromDocument = document.As<IUnknown>();
    auto fromRecord = record.As<IUnknown>();
    EXPECT_EQ(fromDocument.get(), fromRecord.get());
}

TEST_F(ObjectsTest, GetDocumentFindsOnlyStoredVersions) {
    EXPECT_TRUE(Lease());
    const struct {
        const wchar_t* database;
        long number, version;
    } missing[] = {{L"Legal", 1234, 2}, {L"Legal", 4321, 1}, {L"Nowhere", 1234, 1}};
    for (const auto& m : missing) {
        HRESULT hr = S_OK;
        EXPECT_FALSE(GetDocument(session_.get(), m.database, m.number, m.version, &hr));
        EXPECT_EQ(TESSERA_E_NOT_FOUND, hr) << m.number << " v" << m.version;
    }
}

TEST_F(ObjectsTest, CheckOutCopiesTheContentAndLocksForTheSessionUser) {
    auto document = Lease();
    ASSERT_TRUE(document);
    VARIANT_BOOL checkedOut = VARIANT_TRUE;
    ComRef<ITesseraUser> holder;
    EXPECT_EQ(S_OK, document->get_IsCheckedOut(&checkedOut));
    EXPECT_EQ(VARIANT_FALSE, checkedOut);
    EXPECT_EQ(S_OK, document->get_CheckedOutBy(holder.put()));
    EXPECT_FALSE(holder);

    std::wstring local = Scratch(L"1234_1.pdf");
    ASSERT_EQ(S_OK, document->CheckOut(B(local.c_str()).get(), 1, 0.0, B(L"").get()));
    EXPECT_EQ("lease-v1", TempFolder::Read(local));
    EXPECT_EQ(S_OK, document->get_IsCheckedOut(&checkedOut));
    EXPECT_EQ(VARIANT_TRUE, checkedOut);
    ASSERT_EQ(S_OK, document->get_CheckedOutBy(holder.put()));
    ASSERT_TRUE(holder);
    UniqueBstr holderName;
    EXPECT_EQ(S_OK, holder->get_FullName(holderName.put()));
    EXPECT_EQ(L"John Doe", Text(holderName));

    auto stored = Stored(1234, 1);
    ASSERT_TRUE(stored);
    EXPECT_EQ(L"jdoe", stored->lockedBy);
    EXPECT_EQ(local, stored->lockPath);

    // Checked out already, by this user as by anyone.
    EXPECT_EQ(TESSERA_E_IN_USE, document->CheckOut(B(Scratch(L"again.pdf").c_str()).get(), 1, 0.0, B(L"").get()));
    EXPECT_FALSE(TempFolder::Exists(Scratch(L"again.pdf")));
}

// Disposition 2 puts the content into the checked-out version, 0 adds a version with it; the lock
// stays when asked to.
TEST_F(ObjectsTest, CheckInReplacesTheContentOrAddsAVersion) {
    auto document = Lease();
    std::wstring local = Scratch(L"1234_1.pdf");
    ASSERT_EQ(S_OK, document->CheckOut(B(local.c_str()).get(), 1, 0.0, B(L"").get()));
    const struct {
        long disposition, keep;
        const char* content;
        long version;
    } steps[] = {{2, 1, "replaced", 1}, {0, 0, "lease-v2 edited", 2}};
    for (const auto& step : steps) {
        scratch_.Write(L"1234_1.pdf", step.content);
        ComRef<IUnknown> result;
        long reserved = 0;
        ASSERT_EQ(S_OK, document->CheckIn(B(local.c_str()).get(), step.disposition, step.keep, &reserved, result.put()));
        EXPECT_TRUE(result);
        VARIANT_BOOL checkedOut = VARIANT_FALSE;
        EXPECT_EQ(S_OK, document->get_IsCheckedOut(&checkedOut));
        EXPECT_EQ(step.keep ? VARIANT_TRUE : VARIANT_FALSE, checkedOut);
        auto stored = Stored(1234, step.version);
        ASSERT_TRUE(stored);
        EXPECT_EQ(step.content, TempFolder::Read(stored->contentPath));
        EXPECT_FALSE(Stored(1234, step.version + 1));
    }
    long size = 0;
    EXPECT_EQ(S_OK, GetDocument(session_.get(), L"Legal", 1234, 2)->get_Size(&size));
    EXPECT_EQ(15, size);
}

TEST_F(ObjectsTest, CheckInNeedsTheSessionUsersLock) {
    auto document = Lease();
    std::wstring local = scratch_.Write(L"content.pdf", "new");

    ComRef<IUnknown> result;
    EXPECT_EQ(S_OK, document->CheckIn(B(local.c_str()).get(), 0, 0, nullptr, result.put()));
    EXPECT_FALSE(result) << "nothing was checked out";

    ASSERT_EQ(S_OK, LockDocument(Store(), L"DMS1", L"Legal", 1234, 1, L"user7", L""));
    EXPECT_EQ(TESSERA_E_IN_USE, document->CheckIn(B(local.c_str()).get(), 0, 0, nullptr, result.put()));
    EXPECT_FALSE(result);
    HRESULT hr = S_OK;
    EXPECT_FALSE(GetDocument(session_.get(), L"Legal", 1234, 2, &hr));
}

TEST_F(ObjectsTest, UnlockReleasesOnlyTheSessionUsersLock) {
    auto document = Lease();
    ASSERT_EQ(S_OK, document->CheckOut(B(Scratch(L"x.pdf").c_str()).get(), 1, 0.0, B(L"").get()));
    VARIANT_BOOL released = VARIANT_FALSE;
    EXPECT_EQ(S_OK, document->Unlock(&released));
    EXPECT_EQ(VARIANT_TRUE, released);
    EXPECT_EQ(S_OK, document->Unlock(&released));
    EXPECT_EQ(VARIANT_FALSE, released);

    ASSERT_EQ(S_OK, LockDocument(Store(), L"DMS1", L"Legal", 1234, 1, L"user7", L""));
    EXPECT_EQ(TESSERA_E_IN_USE, document->Unlock(&released));
    EXPECT_EQ(VARIANT_FALSE, released);
}

TEST_F(ObjectsTest, DocumentsWorkOnAThreadWithoutCom) {
    auto document = Lease();
    std::wstring local = Scratch(L"worker.pdf");
    HRESULT checkout = E_FAIL, checkin = E_FAIL;
    long size = 0;
    ComRef<IUnknown> result;
    std::thread worker([&] {
        size_t i = 0;
        checkout = document->CheckOut(B(local.c_str()).get(), 1, 0.0, B(L"").get());
        document->get_Size(&size);
        checkin = document->CheckIn(B(local.c_str()).get(), 0, 0, &i, result.put());
    });
    worker.join();
    EXPECT_EQ(S_OK, checkout);
    EXPECT_EQ(8, size);
    EXPECT_EQ(S_OK, checkin);
    EXPECT_TRUE(result);
}

TEST_F(ObjectsTest, ContextKeepsItemsInOrderAndCopiesValues) {
    ComRef<ITesseraCommandContext> context;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TesseraCommandContext, nullptr, CLSCTX_ALL,
                                     __uuidof(ITesseraCommandContext), context.put_void()));
    Variant text;
    text.get()->vt = VT_BSTR;
    text.get()->bstrVal = SysAllocString(L"value");
    Variant number;
    number.get()->vt = VT_I4;
    number.get()->lVal = 7;
    ASSERT_EQ(S_OK, context->AddItem(B(L"B").get(), *text.get()));
    ASSERT_EQ(S_OK, context->AddItem(B(L"A").get(), *number.get()));
    number.get()->lVal = 8;
    ASSERT_EQ(S_OK, context->AddItem(B(L"B").get(), *number.get()));
    text.put();  // frees the caller's text: the context holds its own copy

    long count = 0;
    UniqueBstr first, second, outside;
    EXPECT_EQ(S_OK, context->get_Count(&count));
    EXPECT_EQ(2, count);
    EXPECT_EQ(S_OK, context->get_ItemName(0, first.put()));
    EXPECT_EQ(S_OK, context->get_ItemName(1, second.put()));
    EXPECT_EQ(L"B", Text(first));
    EXPECT_EQ(L"A", Text(second));
    EXPECT_EQ(E_INVALIDARG, context->get_ItemName(2, outside.put()));

    Variant got;
    ASSERT_EQ(S_OK, context->get_Item(B(L"B").get(), got.put()));
    EXPECT_EQ(VT_I4, got.get()->vt);
    EXPECT_EQ(8, got.get()->lVal);
    EXPECT_EQ(TESSERA_E_NOT_FOUND, context->get_Item(B(L"C").get(), got.put()));
    EXPECT_EQ(VT_EMPTY, got.get()->vt);
}

TEST_F(ObjectsTest, FaultsFailTheNamedOperationForTheirCount) {
    auto document = Lease();
    ASSERT_EQ(S_OK, AddFault(Store(), L"CheckOut", E_ACCESSDENIED, 1));
    std::wstring local = Scratch(L"f.pdf");
    EXPECT_EQ(E_ACCESSDENIED, document->CheckOut(B(local.c_str()).get(), 1, 0.0, B(L"").get()));
    VARIANT_BOOL checkedOut = VARIANT_TRUE;
    EXPECT_EQ(S_OK, document->get_IsCheckedOut(&checkedOut));
    EXPECT_EQ(VARIANT_FALSE, checkedOut);
    EXPECT_EQ(S_OK, document->CheckOut(B(local.c_str()).get(), 1, 0.0, B(L"").get()));

    ASSERT_EQ(S_OK, AddRefusal(Store(), L"CheckIn", 0));
    ComRef<IUnknown> result;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(S_OK, document->CheckIn(B(local.c_str()).get(), 0, 0, nullptr, result.put()));
        EXPECT_FALSE(result) << "a refusal without a count lasts until cleared";
    }
    EXPECT_EQ(S_OK, document->get_IsCheckedOut(&checkedOut));
    EXPECT_EQ(VARIANT_TRUE, checkedOut);
    ASSERT_EQ(S_OK, ClearFaults(Store()));
    EXPECT_EQ(S_OK, document->CheckIn(B(local.c_str()).get(), 0, 0, nullptr, result.put()));
    EXPECT_TRUE(result);

    ASSERT_EQ(S_OK, AddRefusal(Store(), L"Login", 1));
    long login = 0;
    EXPECT_EQ(S_OK, session_->Login(B(L"jdoe").get(), B(L"secret").get(), &login));
    EXPECT_NE(0, login);
    ASSERT_EQ(S_OK, AddFault(Store(), L"GetDocument", TESSERA_E_NOT_LOGGED_IN, 2));
    HRESULT hr = S_OK;
    GetDocument(session_.get(), L"Legal", 1234, 1, &hr);
    EXPECT_EQ(TESSERA_E_NOT_LOGGED_IN, hr);
}

}  // namespace
}  // namespace tessera::test
