#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "Utilities/CAPStringUtils.h"
#include "VxHFT.h"
#include "VxHostedTest.h"

using ::testing::MatchesRegex;
using vxhost::ObjectKind;

namespace {

class StringUtilsTest : public VxHostedTest {};

TEST_F(StringUtilsTest, NullGivesNullBothWays) {
    CASText2CT wide(nullptr);
    EXPECT_EQ(wide.Get(), nullptr);
    CCT2ASText text(nullptr);
    EXPECT_EQ(text.Get(), nullptr);
    EXPECT_EQ(host().Objects().Created(ObjectKind::Text), 0u);
}

TEST_F(StringUtilsTest, AnEmptyTextGivesAnEmptyStringThatIsNotNull) {
    ASText empty = VxTextNew();
    {
        CASText2CT wide(empty);
        ASSERT_NE(wide.Get(), nullptr);
        EXPECT_STREQ(wide, L"");
    }
    VxTextDestroy(empty);
}

TEST_F(StringUtilsTest, TheWideStringIsACopyThatOutlivesChangesToTheText) {
    ASText text = VxTextFromWide(L"Gr\u00fc\u00dfe aus K\u00f6ln");
    CASText2CT wide(text);
    VxTextSetWide(text, L"changed");
    VxTextDestroy(text);
    EXPECT_STREQ(wide, L"Gr\u00fc\u00dfe aus K\u00f6ln");
}

TEST_F(StringUtilsTest, AHostTextIsMadeFromTheStringAndDestroyedWithTheObject) {
    {
        CCT2ASText text(L"Tessera \u00e9t\u00e9");
        ASSERT_NE(text.Get(), nullptr);
        EXPECT_STREQ(VxTextGetWide(text), L"Tessera \u00e9t\u00e9");
        EXPECT_EQ(host().Objects().Live(ObjectKind::Text), 1u);
    }
    EXPECT_EQ(host().Objects().Live(ObjectKind::Text), 0u);

    ASText kept;
    {
        CCT2ASText text(L"kept");
        kept = text.Detach();
        EXPECT_EQ(text.Get(), nullptr);
    }
    EXPECT_TRUE(host().Objects().IsLive(kept, ObjectKind::Text));
    VxTextDestroy(kept);
}

// Host tables whose text entries raise, to see that the conversions log and do not throw.
class FailingTextTest : public StringUtilsTest {
protected:
    void SetUp() override {
        StringUtilsTest::SetUp();
        original_ = gVxHFT[kHftASExtra].table;
        failing_.assign(original_, original_ + kASExtraTableSize);
        failing_[kASTextGetUnicode] = reinterpret_cast<void*>(RaisingGetWide);
        failing_[kASTextFromUnicode] = reinterpret_cast<void*>(RaisingFromWide);
        failing_[kASTextDestroy] = reinterpret_cast<void*>(RaisingDestroy);
        gVxHFT[kHftASExtra].table = failing_.data();
    }
    void TearDown() override {
        gVxHFT[kHftASExtra].table = original_;
        StringUtilsTest::TearDown();
    }
    void UseHostTables() { gVxHFT[kHftASExtra].table = original_; }

    static const wchar_t* VXAPI RaisingGetWide(ASText) { VxRaise(0x40000001, "test", 1, "get"); }
    static ASText VXAPI RaisingFromWide(const wchar_t*, ASInt32) { VxRaise(0x40000001, "test", 2, "from"); }
    static void VXAPI RaisingDestroy(ASText) { VxRaise(0x40000001, "test", 3, "destroy"); }

    static std::string Block(const char* function) {
        return std::string("==============================\nException handled: 0x40000001\n"
                           "File: Utilities\\\\CAPStringUtils\nFunction: ") +
               function + "\nLine: \\d+\n";
    }

    HFT original_ = nullptr;
    std::vector<void*> failing_;
};

TEST_F(FailingTextTest, AFailedReadMakeOrDestroyIsLoggedAndLeavesNothing) {
    CASText2CT wide(reinterpret_cast<ASText>(this));  // never reaches the host
    EXPECT_EQ(wide.Get(), nullptr);
    CCT2ASText text(L"x");
    EXPECT_EQ(text.Get(), nullptr);
    UseHostTables();
    auto* made = new CCT2ASText(L"x");
    ASText kept = made->Get();
    gVxHFT[kHftASExtra].table = failing_.data();
    delete made;
    UseHostTables();
    VxTextDestroy(kept);
    EXPECT_THAT(host().LogText(), MatchesRegex(Block("CASText2CT::CASText2CT") + Block("CCT2ASText::CCT2ASText") +
                                               Block("CCT2ASText::~CCT2ASText")));
}

}  // namespace
