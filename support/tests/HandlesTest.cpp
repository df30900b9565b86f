// The owning handles: each releases exactly once, moves hand ownership on, Release hands it out.
#include <gtest/gtest.h>

#include <thread>

#include "Utilities/CAPHandles.h"
#include "VxHostedTest.h"

namespace {

DWORD WINAPI SetFlagLate(LPVOID flag) {
    Sleep(100);
    InterlockedExchange(static_cast<LONG*>(flag), 1);
    return 7;
}
DWORD WINAPI ReturnSeven(LPVOID) { return 7; }

bool IsOpenKey(HKEY key) {
    DWORD subkeys = 0;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS;
}

TEST(Handles, ARegistryKeyClosesOnResetAndMovesOwnership) {
    CAPRegistryKey first;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, first.put()), ERROR_SUCCESS);
    HKEY raw = first.get();
    CAPRegistryKey second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), raw);
    EXPECT_TRUE(IsOpenKey(second.get()));
    second.Reset();
    EXPECT_FALSE(second);
    EXPECT_FALSE(IsOpenKey(raw));

    CAPRegistryKey kept;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, kept.put()), ERROR_SUCCESS);
    HKEY handedOut = kept.Release();
    EXPECT_FALSE(kept);
    EXPECT_TRUE(IsOpenKey(handedOut));  // not closed by its former holder
    RegCloseKey(handedOut);
}

TEST(Handles, NullAndInvalidKernelHandlesAreNone) {
    EXPECT_FALSE(CAPHandle());
    EXPECT_FALSE(CAPHandle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(CAPFindHandle());
    CAPHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    HANDLE raw = event.get();
    event = CAPHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));  // the first one is closed
    EXPECT_NE(event.get(), raw);
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(raw, &flags));
}

TEST(Handles, AThreadHasEndedBeforeItsHandleGoes) {
    LONG done = 0;
    {
        CAPThread thread(CreateThread(nullptr, 0, SetFlagLate, &done, 0, nullptr));
        ASSERT_TRUE(thread);
    }
    EXPECT_EQ(done, 1);
    CAPThread joined(CreateThread(nullptr, 0, ReturnSeven, nullptr, 0, nullptr));
    EXPECT_EQ(CAPJoinThread(joined), 7u);
    EXPECT_FALSE(joined);
    EXPECT_EQ(CAPJoinThread(joined), static_cast<DWORD>(STILL_ACTIVE));
}

TEST(Handles, TheComApartmentBalancesItsOwnInitialisationOnly) {
    // On a fresh thread: nested holds each undo their own, and a thread already in another
    // apartment kind gets no CoUninitialize of ours.
    HRESULT first = E_FAIL, nested = E_FAIL, after = E_FAIL, changed = E_FAIL, stillMulti = E_FAIL;
    std::thread([&] {
        {
            CAPComApartment outer(CoInitialize(nullptr));
            first = outer.get();
            CAPComApartment inner(CoInitialize(nullptr));
            nested = inner.get();
        }
        after = CoInitialize(nullptr);  // S_OK again: both holds were released
        if (SUCCEEDED(after)) CoUninitialize();

        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            CAPComApartment wrongKind(CoInitialize(nullptr));
            changed = wrongKind.get();
        }
        stillMulti = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_FALSE: ours took nothing away
        if (SUCCEEDED(stillMulti)) CoUninitialize();
        CoUninitialize();
    }).join();
    EXPECT_EQ(first, S_OK);
    EXPECT_EQ(nested, S_FALSE);
    EXPECT_EQ(after, S_OK);
    EXPECT_EQ(changed, RPC_E_CHANGED_MODE);
    EXPECT_EQ(stillMulti, S_FALSE);
}

class HostHandles : public VxHostedTest {};

// The host's ledger (checked by the fixture) fails the test on a leak or a second release.
TEST_F(HostHandles, HostObjectsAreReleasedOnceThroughTheHost) {
    CAPHostPath path(VxPathFromWide(L"C:\\x\\a.pdf"));
    ASSERT_TRUE(path);
    CAPHostPath moved(std::move(path));
    CAPHostText text(VxTextFromWide(L"t"));
    ASSERT_TRUE(text);
    text.Reset(VxTextFromWide(L"u"));
    CAPHostPath handedOut(VxPathFromWide(L"C:\\x\\b.pdf"));
    VxReleasePath(VxDefaultFileSys(), handedOut.Release());
}

}  // namespace
