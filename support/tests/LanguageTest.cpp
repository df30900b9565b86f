#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

#include "LanguageSandbox.h"
#include "Utilities/CAPLanguage.h"
#include "VxApp.h"

namespace {

TEST(UILanguageCode, SupportedLanguagesAreUpperCasedAndTheRestIsEnglish) {
    LanguageSandbox sandbox;
    const struct {
        const wchar_t* system;
        const wchar_t* code;
    } cases[] = {
        {L"de", L"DE"}, {L"ja", L"JA"}, {L"sv", L"SV"}, {L"zh", L"ZH"}, {L"en", L"EN"},
        {L"nn", L"NO"}, {L"nb", L"NO"}, {L"no", L"NO"},  // Nynorsk and Bokmal are both Norwegian
        {L"pl", L"EN"}, {L"xx", L"EN"}, {L"", L"EN"},
        {L"fil", L"EN"},  // does not fit the three-character buffer: a failed read, whatever it left there
    };
    for (const auto& c : cases) {
        sandbox.SetSystemLanguage(c.system);
        EXPECT_EQ(GetUILanguageCode(), c.code) << "system language \"" << std::string(c.system, c.system + wcslen(c.system)) << "\"";
    }
}

TEST(ProgramDataFolder, IsTheVersionFolderUnderTheCommonApplicationData) {
    wchar_t common[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common), S_OK);
    EXPECT_EQ(GetProgramDataFolder(), std::wstring(common) + L"\\Varnel\\Pro\\11.0\\");
}

class LanguageModuleTest : public ::testing::Test {
protected:
    // Whatever happens, a refused module leaves the module's own resources current.
    void ExpectNothingLoaded(const wchar_t* why) {
        std::wstring code = L"unchanged";
        EXPECT_EQ(sandbox_.Keep(LoadLanguageModule(L"dmslink", true, &code)), nullptr) << why;
        EXPECT_EQ(code, L"unchanged") << why;
        EXPECT_EQ(VxResourceHandle(), GetModuleHandleW(nullptr)) << why;
    }

    LanguageSandbox sandbox_;
};

TEST_F(LanguageModuleTest, NothingIsLoadedWithoutTheInstallationMarker) {
    sandbox_.SetSystemLanguage(L"de");
    ASSERT_TRUE(sandbox_.SetInstallSource(nullptr));
    ExpectNothingLoaded(L"no installsource value");
    ASSERT_TRUE(sandbox_.SetInstallSource(L"C:\\Setup\\Varnel"));
    ExpectNothingLoaded(L"installsource without the marker");
    ASSERT_TRUE(sandbox_.SetInstallSource(L"\\\\SERVER\\ORVANE\\setup"));
    ExpectNothingLoaded(L"the marker in other case");
}

TEST_F(LanguageModuleTest, EnglishAndUnsupportedLanguagesLoadNothing) {
    ASSERT_TRUE(sandbox_.SetInstallSource(L"\\\\server\\orvane\\setup"));
    sandbox_.SetSystemLanguage(L"en");
    ExpectNothingLoaded(L"English");
    sandbox_.SetSystemLanguage(L"pl");
    ExpectNothingLoaded(L"unsupported language");
}

TEST_F(LanguageModuleTest, AMissingModuleLoadsNothing) {
    ASSERT_TRUE(sandbox_.SetInstallSource(L"\\\\server\\orvane\\setup"));
    sandbox_.SetSystemLanguage(L"fi");
    ExpectNothingLoaded(L"no Finnish module installed");
    EXPECT_EQ(LoadLanguageModule(nullptr, true), nullptr);
}

}  // namespace
