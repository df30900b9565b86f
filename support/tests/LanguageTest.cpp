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

// With the marker but no module for the system language nothing is loaded, and the module's own
// resources stay current.
TEST(LanguageModule, WithoutAModuleForTheLanguageNothingIsLoaded) {
    LanguageSandbox sandbox;
    ASSERT_TRUE(sandbox.SetInstallSource(L"\\\\server\\orvane\\setup"));
    sandbox.SetSystemLanguage(L"fi");
    std::wstring code = L"unchanged";
    EXPECT_EQ(sandbox.Keep(LoadLanguageModule(L"dmslink", true, &code)), nullptr);
    EXPECT_EQ(code, L"unchanged");
    EXPECT_EQ(VxResourceHandle(), GetModuleHandleW(nullptr));
    EXPECT_EQ(LoadLanguageModule(nullptr, true), nullptr);
}

}  // namespace
