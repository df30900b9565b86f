// Fixtures of the stand-in's tests: a temporary store folder that removes itself, seeded with one
// server, two databases, three users and a few documents, and COM with the class objects registered.
#pragma once

#include <gtest/gtest.h>

#include <TesseraDMS.h>

#include <string>

#include "Handles.h"
#include "tessera/StandIn.h"
#include "vxhost/HostFixture.h"

namespace tessera::test {

std::wstring WindowsUserName();
using TempFolder = vxhost::TempFolder;

// Points TESSERA_STORE at a fresh seeded store for the test's lifetime.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::wstring& Store() const { return store_.Path(); }
    std::wstring Scratch(const std::wstring& name) const { return scratch_.File(name); }

    TempFolder store_;
    TempFolder scratch_;
};

// StoreTest with COM initialised and the stand-in's class objects registered in this process.
class ComTest : public StoreTest {
protected:
    void SetUp() override;
    void TearDown() override;

    ComRef<ITesseraDMS> CreateDms();
    // A session of DMS1 logged in as user (password "secret" for jdoe, "pw7" for user7).
    ComRef<ITesseraSession> LoggedIn(ITesseraDMS* dms, const wchar_t* user, const wchar_t* password);
    ComRef<ITesseraDocument> GetDocument(ITesseraSession* session, const wchar_t* database, long number,
                                         long version, HRESULT* hr = nullptr);
    // Legal 1234 version 1 as jdoe finds it, through dms_ and session_.
    ComRef<ITesseraDocument> Lease() {
        dms_ = CreateDms();
        session_ = LoggedIn(dms_.get(), L"jdoe", L"secret");
        return GetDocument(session_.get(), L"Legal", 1234, 1);
    }

    ComRef<ITesseraDMS> dms_;
    ComRef<ITesseraSession> session_;

    bool comReady_ = false;
};

// Owning BSTR made from a literal.
UniqueBstr B(const wchar_t* text);
std::wstring Text(const UniqueBstr& text);

}  // namespace tessera::test
