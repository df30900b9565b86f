#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "CAPError.h"
#include "LanguageSandbox.h"
#include "Utilities/CAPLanguage.h"
#include "VxApp.h"
#include "resource.h"
#include "resources/CAPResource.h"
#include "vxhost/HostFixture.h"

namespace {

std::wstring GermanModulePath() { return vxhost::ProgramFolder() + L"\\Lang\\DE\\dmslink.dll"; }

HMODULE English() { return GetModuleHandleW(nullptr); }

// The German module as data only, freed with the holder.
class GermanModule {
public:
    GermanModule() : module_(LoadLibraryExW(GermanModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~GermanModule() {
        if (module_) FreeLibrary(module_);
    }
    GermanModule(const GermanModule&) = delete;
    GermanModule& operator=(const GermanModule&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

std::wstring StringOf(HMODULE module, UINT id) {
    const wchar_t* text = nullptr;
    int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The printf conversions of a format, in order ("%s%d").
std::wstring Conversions(const std::wstring& format) {
    std::wstring found;
    for (size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] != L'%') continue;
        found += format.substr(i, 2);
        ++i;
    }
    return found;
}

const UINT kStringIds[] = {1001,  1002,  1004,  1005,  1006,  1007,  1008,  1009,  1010,  1011,
                           1012,  1013,  1014,  1015,  1016,  1017,  1018,  1019,  1020,  18030,
                           18031, 18032, 18034, 18040, 18042, 18043, 18047, 18048};

TEST(StringTable, CarriesEveryEnglishText) {
    const struct {
        UINT id;
        const wchar_t* text;
    } expected[] = {
        {1001, L"Save to Tessera"},
        {1002, L"Checking-out documents from server..."},
        {1004, L"Open from Tessera"},
        {1005, L"Unable to open file '%s'. This file is currently in use by %s."},
        {1006, L"Save the active document to Tessera."},
        {1007, L"Open an existing document from Tessera"},
        {1008, L"Please specify a server."},
        {1009, L"Please specify user name."},
        {1010, L"Please specify password."},
        {1011, L"Unable to log in to the server. Please check the entered details."},
        {1012, L"There was an error opening the document '%s'."},
        {1013, L"Checking-in documents to server..."},
        {1014, L"Error: %d. Unable to open file '%s'."},
        {1015, L"Unknown user"},
        {1016, L"Server '%s' already exist!"},
        {1017, L"'%s' could not be checked in to Tessera. Your changes are kept on this computer and will be checked in "
               L"when you close the document again or the next time Varnel Pro starts."},
        {1018, L"No Tessera server is connected. Log in to a server in the Tessera server settings first."},
        {1019, L"Error: %d. The document could not be saved to Tessera."},
        {1020, L"'%s' could not be unlocked in Tessera and stays checked out to you."},
        {18030, L"General error occured while working with file specifier."},
        {18031, L"Cannot assign path to file specifier."},
        {18032, L"Cannot convert file specifier to required format."},
        {18034, L"Cannot get absolute path from file specifier."},
        {18040, L"Cannot obtain size of file."},
        {18042, L"Cannot copy \"%s\" to \"%s\"."},
        {18043, L"Problem while copying content of \"%s\"."},
        {18047, L"Cannot obtain name from file (directory)."},
        {18048, L"Cannot obtain extension from file (directory)."},
    };
    ASSERT_EQ(std::size(expected), std::size(kStringIds));
    for (const auto& e : expected) EXPECT_EQ(StringOf(English(), e.id), e.text) << "string " << e.id;
}

TEST(StringTable, TheGermanModuleTranslatesEveryTextWithTheSameConversions) {
    GermanModule german;
    ASSERT_NE(german.get(), nullptr) << Narrow(GermanModulePath());
    std::vector<UINT> ids(std::begin(kStringIds), std::end(kStringIds));
    // "Kept on this computer" and the reasons a copy is kept; "Server" and "Version" read the same.
    for (UINT id = IDS_KEPT_TITLE; id <= IDS_NOT_DISCARDED; ++id)
        if (id != IDS_KEPT_COLUMN_SERVER && id != IDS_KEPT_COLUMN_VERSION) ids.push_back(id);
    for (UINT id : ids) {
        std::wstring english = StringOf(English(), id), translated = StringOf(german.get(), id);
        EXPECT_FALSE(translated.empty()) << "string " << id;
        EXPECT_NE(translated, english) << "string " << id;
        // A format whose arguments differ from the caller's would read them wrongly.
        EXPECT_EQ(Conversions(translated), Conversions(english)) << "string " << id;
    }
}

// ---- dialog templates

struct Item {
    int id;
    std::wstring windowClass;  // "Button", "Edit", "Static" or the class name
    std::wstring text;
    DWORD style;
    short x, y, cx, cy;
};

struct Dialog {
    DWORD style = 0;
    short cx = 0, cy = 0;
    std::wstring caption, font;
    WORD pointSize = 0;
    std::vector<Item> items;
};

class TemplateReader {
public:
    explicit TemplateReader(const BYTE* at) : at_(at), start_(at) {}
    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    short Short() { return Take<short>(); }
    void AlignToDword() {
        while ((at_ - start_) % 4) ++at_;
    }
    // A string, or an ordinal (0xFFFF then a number) given as "#n".
    std::wstring NameOrOrdinal() {
        WORD first = Word();
        if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
        std::wstring text;
        for (WORD c = first; c; c = Word()) text += static_cast<wchar_t>(c);
        return text;
    }
    void Skip(size_t bytes) { at_ += bytes; }

private:
    template <class T>
    T Take() {
        T value;
        memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    const BYTE* at_;
    const BYTE* start_;
};

std::wstring ClassName(const std::wstring& name) {
    if (name == L"#128") return L"Button";
    if (name == L"#129") return L"Edit";
    if (name == L"#130") return L"Static";
    return name;
}

bool ReadDialog(HMODULE module, int id, Dialog* dialog) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), reinterpret_cast<LPCWSTR>(RT_DIALOG));
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!data) return false;
    TemplateReader r(data);
    if (r.Word() != 1 || r.Word() != 0xFFFF) return false;  // an extended template
    r.Dword();                                             // help id
    r.Dword();                                             // extended style
    dialog->style = r.Dword();
    WORD count = r.Word();
    r.Short();
    r.Short();
    dialog->cx = r.Short();
    dialog->cy = r.Short();
    r.NameOrOrdinal();  // menu
    r.NameOrOrdinal();  // class
    dialog->caption = r.NameOrOrdinal();
    if (dialog->style & DS_SETFONT) {
        dialog->pointSize = r.Word();
        r.Word();
        r.Skip(2);
        dialog->font = r.NameOrOrdinal();
    }
    for (WORD i = 0; i < count; ++i) {
        r.AlignToDword();
        Item item;
        r.Dword();
        r.Dword();
        item.style = r.Dword();
        item.x = r.Short();
        item.y = r.Short();
        item.cx = r.Short();
        item.cy = r.Short();
        item.id = static_cast<int>(r.Dword());
        item.windowClass = ClassName(r.NameOrOrdinal());
        item.text = r.NameOrOrdinal();
        r.Skip(r.Word());
        dialog->items.push_back(item);
    }
    return true;
}

struct Expected {
    int id;
    const wchar_t* windowClass;
    const wchar_t* text;
    DWORD kind;           // style bits that make the kind
    short x, y, cx, cy;
};

// The English dialog `id` in MS Shell Dlg 8: its caption, size and controls in order.
Dialog ExpectLayout(int id, const wchar_t* caption, short cx, short cy, const std::vector<Expected>& expected) {
    Dialog dialog;
    EXPECT_TRUE(ReadDialog(English(), id, &dialog));
    EXPECT_EQ(std::make_tuple(dialog.caption, dialog.font, dialog.pointSize, dialog.cx, dialog.cy),
              std::make_tuple(std::wstring(caption), std::wstring(L"MS Shell Dlg"), WORD(8), cx, cy));
    EXPECT_EQ(dialog.items.size(), expected.size());
    for (size_t i = 0; i < expected.size() && i < dialog.items.size(); ++i) {
        const Item& item = dialog.items[i];
        const Expected& e = expected[i];
        SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(e.id));
        EXPECT_EQ(item.id, e.id);
        // Class names are compared as the system does, ignoring case (the compiler upper-cases them).
        EXPECT_EQ(_wcsicmp(item.windowClass.c_str(), e.windowClass), 0) << Narrow(item.windowClass);
        EXPECT_EQ(item.text, e.text);
        EXPECT_EQ(item.style & (e.kind | WS_VISIBLE), e.kind | WS_VISIBLE);
        EXPECT_EQ(std::make_tuple(item.x, item.y, item.cx, item.cy), std::make_tuple(e.x, e.y, e.cx, e.cy));
    }
    return dialog;
}

const DWORD kAutoCheck = BS_AUTOCHECKBOX | WS_TABSTOP;
const DWORD kEdit = ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;

TEST(Dialogs, ProgressDialogFollowsItsLayout) {
    Dialog dialog = ExpectLayout(IDD_PROGRESS, L"Processing documents", 295, 110, {
        {1002, L"Static", L"", 0, 102, 7, 185, 8},
        {1003, L"msctls_progress32", L"", WS_BORDER, 7, 68, 281, 14},
        {IDCANCEL, L"Button", L"Cancel", BS_PUSHBUTTON, 238, 89, 50, 14},
        {1004, L"Static", L"", 0, 102, 19, 185, 8},
        {1005, L"Static", L"", 0, 102, 31, 185, 8},
        {1006, L"Static", L"", 0, 102, 43, 185, 8},
        {-1, L"Static", L"Name/Description:", 0, 6, 7, 90, 8},
        {-1, L"Static", L"Author:", 0, 6, 19, 90, 8},
        {-1, L"Static", L"Document number:", 0, 6, 31, 90, 8},
        {-1, L"Static", L"Version:", 0, 6, 43, 90, 8},
        {1007, L"Static", L"", 0, 102, 55, 185, 8},
        {-1, L"Static", L"Size:", 0, 6, 55, 90, 8},
    });
    EXPECT_EQ(dialog.style & (WS_POPUP | WS_CAPTION | DS_MODALFRAME), DWORD(WS_POPUP | WS_CAPTION | DS_MODALFRAME));
    EXPECT_EQ(dialog.style & WS_SYSMENU, 0u);
}

TEST(Dialogs, ServerDialogFollowsItsLayout) {
    ExpectLayout(IDD_SERVER_PROPERTIES, L"Tessera Server configuration", 309, 138, {
        {IDOK, L"Button", L"OK", BS_DEFPUSHBUTTON, 198, 117, 50, 14},
        {IDCANCEL, L"Button", L"Cancel", BS_PUSHBUTTON, 252, 117, 50, 14},
        {1018, L"Button", L"Use trusted login", kAutoCheck, 16, 55, 279, 10},
        {-1, L"Static", L"Server:", 0, 7, 11, 115, 8},
        {1027, L"Static", L"Username:", 0, 16, 74, 106, 8},
        {-1, L"Button", L"Login information", BS_GROUPBOX, 7, 28, 295, 84},
        {1028, L"Static", L"Password:", 0, 16, 92, 106, 8},
        {1017, L"Edit", L"", kEdit, 122, 7, 180, 14},
        {1009, L"Edit", L"", kEdit, 122, 70, 173, 14},
        {1010, L"Edit", L"", kEdit | ES_PASSWORD, 122, 89, 173, 14},
        {1026, L"Button", L"Auto login", kAutoCheck, 16, 41, 279, 10},
    });
}

// What a translation may not change: everything but the texts, and which controls have one.
using LayoutRow = std::tuple<int, std::wstring, DWORD, short, short, short, short, bool>;
std::vector<LayoutRow> Layout(const Dialog& d) {
    std::vector<LayoutRow> rows = {{0, d.font, d.style, static_cast<short>(d.pointSize), 0, d.cx, d.cy, false}};
    for (const Item& i : d.items) rows.emplace_back(i.id, i.windowClass, i.style, i.x, i.y, i.cx, i.cy, i.text.empty());
    return rows;
}

TEST(Dialogs, TheGermanDialogsKeepTheLayoutAndTranslateTheTexts) {
    GermanModule german;
    ASSERT_NE(german.get(), nullptr);
    for (int id : {IDD_PROGRESS, IDD_SERVER_PROPERTIES, IDD_KEPT_COPIES, IDD_CONFIRM_DISCARD}) {
        Dialog english, translated;
        ASSERT_TRUE(ReadDialog(English(), id, &english));
        ASSERT_TRUE(ReadDialog(german.get(), id, &translated));
        EXPECT_NE(translated.caption, english.caption) << "dialog " << id;
        EXPECT_EQ(Layout(translated), Layout(english)) << "dialog " << id;
    }
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

TEST(Dialogs, BothModulesDialogsCanBeCreated) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    HMODULE german = LoadLibraryW(GermanModulePath().c_str());
    ASSERT_NE(german, nullptr);
    for (HMODULE module : {English(), german}) {
        for (int id : {IDD_PROGRESS, IDD_SERVER_PROPERTIES, IDD_KEPT_COPIES, IDD_CONFIRM_DISCARD}) {
            HWND window = CreateDialogParamW(module, MAKEINTRESOURCEW(id), nullptr, QuietDialogProc, 0);
            ASSERT_NE(window, nullptr) << "dialog " << id << " error " << GetLastError();
            if (id == IDD_PROGRESS) {
                wchar_t name[64] = {};
                GetClassNameW(GetDlgItem(window, IDC_PROGRESS), name, 64);
                EXPECT_STREQ(name, PROGRESS_CLASSW);
            }
            DestroyWindow(window);
        }
    }
    FreeLibrary(german);
}

// ---- images

struct PngHeader {
    bool signature;
    DWORD width, height;
    BYTE depth, colourType;
};

bool ReadPng(int id, PngHeader* header) {
    HMODULE module = English();
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!data || SizeofResource(module, found) < 33) return false;
    auto big = [](const BYTE* p) { return DWORD(p[0]) << 24 | DWORD(p[1]) << 16 | DWORD(p[2]) << 8 | p[3]; };
    header->signature = !memcmp(data, "\x89PNG\r\n\x1a\n", 8) && !memcmp(data + 12, "IHDR", 4);
    header->width = big(data + 16);
    header->height = big(data + 20);
    header->depth = data[24];
    header->colourType = data[25];
    return true;
}

TEST(Images, RibbonImagesAreRgbaPngsOfTheirSizes) {
    const struct {
        int id;
        DWORD width, height;
    } images[] = {{IDP_OPEN, 32, 32}, {IDP_SAVE, 32, 32}, {IDP_KEPT, 32, 32}, {IDP_IMAGE_STRIP, 19 * 16, 16}};
    for (const auto& image : images) {
        SCOPED_TRACE("PNG " + std::to_string(image.id));
        PngHeader header;
        ASSERT_TRUE(ReadPng(image.id, &header));
        EXPECT_TRUE(header.signature);
        EXPECT_EQ(header.width, image.width);
        EXPECT_EQ(header.height, image.height);
        EXPECT_EQ(header.depth, 8);
        EXPECT_EQ(header.colourType, 6);  // truecolour with alpha
    }
}

// ---- the German module loaded as the installation would have it

class GermanInstallationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sandbox_.InstallModule(GermanModulePath(), L"DE", L"dmslink"));
        ASSERT_TRUE(sandbox_.SetInstallSource(L"\\\\deploy\\Corvane\\Varnel 11"));
        sandbox_.SetSystemLanguage(L"de");
        CAPError::Instance().Clear();
    }
    void TearDown() override { CAPError::Instance().Clear(); }

    LanguageSandbox sandbox_;
};

const wchar_t kGermanCheckout[] = L"Dokumente werden vom Server ausgecheckt...";
const wchar_t kEnglishCheckout[] = L"Checking-out documents from server...";

TEST_F(GermanInstallationTest, TextsLoadedAfterwardsAreGerman) {
    std::wstring code;
    HMODULE module = sandbox_.Keep(LoadLanguageModule(L"dmslink", true, &code));
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(code, L"DE");
    EXPECT_EQ(VxResourceHandle(), module);
    EXPECT_EQ(VxLoadString(IDS_CHECKOUT_CAPTION), kGermanCheckout);
    EXPECT_EQ(VxFormatString(IDS_SERVER_EXISTS, L"dms1"), L"Der Server 'dms1' ist bereits vorhanden!");
    CAPError::Instance().AddError(IDS_FILESPEC_ASSIGN);
    EXPECT_EQ(CAPError::Instance().GetLastError()->text, L"Der Pfad kann der Dateiangabe nicht zugewiesen werden.");
}

TEST_F(GermanInstallationTest, WithoutMakingItCurrentTheTextsStayEnglish) {
    std::wstring code = L"unchanged";
    HMODULE module = sandbox_.Keep(LoadLanguageModule(L"dmslink", false, &code));
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(code, L"unchanged");
    EXPECT_EQ(VxLoadString(IDS_CHECKOUT_CAPTION), kEnglishCheckout);
    EXPECT_EQ(StringOf(module, IDS_CHECKOUT_CAPTION), kGermanCheckout);
}

// The German module is installed, yet without the installation marker (case counts) or with a
// system language it does not serve, the texts stay English.
TEST_F(GermanInstallationTest, WithoutTheMarkerOrInAnotherLanguageTheTextsStayEnglish) {
    const struct {
        const wchar_t *installSource, *language;
    } cases[] = {{nullptr, L"de"},
                 {L"\\\\deploy\\Varnel 11", L"de"},
                 {L"\\\\deploy\\CORVANE\\Varnel 11", L"de"},
                 {L"\\\\deploy\\Corvane\\Varnel 11", L"en"},
                 {L"\\\\deploy\\Corvane\\Varnel 11", L"pl"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(std::wstring(c.installSource ? c.installSource : L"(none)") + L" " + c.language));
        ASSERT_TRUE(sandbox_.SetInstallSource(c.installSource));
        sandbox_.SetSystemLanguage(c.language);
        std::wstring code = L"unchanged";
        EXPECT_EQ(sandbox_.Keep(LoadLanguageModule(L"dmslink", true, &code)), nullptr);
        EXPECT_EQ(code, L"unchanged");
        EXPECT_EQ(VxLoadString(IDS_CHECKOUT_CAPTION), kEnglishCheckout);
    }
}

}  // namespace
