#include <functional>
#include <thread>

#include "StoreFixture.h"
#include "resource.h"

namespace tessera::test {
namespace {

class CommandsTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        dms_ = CreateDms();
        session_ = LoggedIn(dms_.get(), L"jdoe", L"secret");
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TesseraCommandContext, nullptr, CLSCTX_ALL,
                                         __uuidof(ITesseraCommandContext), context_.put_void()));
    }

    void Add(const wchar_t* name, VARTYPE type, LONG number) {
        Variant value;
        value.get()->vt = type;
        if (type == VT_BOOL)
            value.get()->boolVal = number ? VARIANT_TRUE : VARIANT_FALSE;
        else
            value.get()->lVal = number;
        ASSERT_EQ(S_OK, context_->AddItem(B(name).get(), *value.get()));
    }
    void AddText(const wchar_t* name, const wchar_t* text) {
        Variant value;
        value.get()->vt = VT_BSTR;
        value.get()->bstrVal = text ? SysAllocString(text) : nullptr;
        ASSERT_EQ(S_OK, context_->AddItem(B(name).get(), *value.get()));
    }
    void AddDms() {
        Variant value;
        value.get()->vt = VT_UNKNOWN;
        value.get()->punkVal = dms_.get();
        dms_->AddRef();
        ASSERT_EQ(S_OK, context_->AddItem(B(L"TesseraDMS").get(), *value.get()));
    }
    // The items the plug-in's open gives, in its order.
    void AddOpenItems(HWND parent, bool multiSelect, const wchar_t* filter) {
        Add(L"ParentWindow", VT_I4, static_cast<LONG>(reinterpret_cast<LONG_PTR>(parent)));
        AddDms();
        Add(L"TesseraExt2.MultiFileSelection", VT_BOOL, multiSelect);
        if (filter) AddText(L"TesseraExt2.FileOpFilterAppType", filter);
    }
    void AddImportItems(HWND parent, const wchar_t* description, const wchar_t* type) {
        AddText(L"TesseraExt.Import.DocDescription", description);
        AddText(L"TesseraExt.Import.DocType", type);
        Add(L"ParentWindow", VT_I4, static_cast<LONG>(reinterpret_cast<LONG_PTR>(parent)));
        AddDms();
    }

    ComRef<ITesseraCommand> Command(const CLSID& clsid) {
        ComRef<ITesseraCommand> command;
        EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_ALL, __uuidof(ITesseraCommand), command.put_void()));
        if (command) {
            EXPECT_EQ(S_OK, command->Initialize(context_.get()));
        }
        return command;
    }

    // The numbers of the selected documents, in the array's order; fails unless the item is a
    // one-dimensional array of objects.
    std::vector<long> SelectedNumbers() {
        Variant value;
        std::vector<long> numbers;
        EXPECT_EQ(S_OK, context_->get_Item(B(L"SelectedTesseraObjects").get(), value.put()));
        EXPECT_EQ(VT_ARRAY | VT_DISPATCH, value.get()->vt);
        if (value.get()->vt != (VT_ARRAY | VT_DISPATCH)) return numbers;
        SAFEARRAY* array = value.get()->parray;
        EXPECT_EQ(1u, SafeArrayGetDim(array));
        LONG low = -1, high = -1;
        SafeArrayGetLBound(array, 1, &low);
        SafeArrayGetUBound(array, 1, &high);
        EXPECT_EQ(0, low);
        for (LONG i = low; i <= high; ++i) {
            ComRef<IDispatch> element;
            EXPECT_EQ(S_OK, SafeArrayGetElement(array, &i, element.put()));
            auto document = element.As<ITesseraDocument>();
            long number = -1;
            if (document) document->get_Number(&number);
            numbers.push_back(number);
        }
        return numbers;
    }

    ComRef<ITesseraDocument> ImportedDocument() {
        Variant value;
        EXPECT_EQ(S_OK, context_->get_Item(B(L"ImportedDocument").get(), value.put()));
        EXPECT_EQ(VT_DISPATCH, value.get()->vt);
        ComRef<ITesseraDocument> document;
        if (value.get()->vt == VT_DISPATCH && value.get()->pdispVal)
            value.get()->pdispVal->QueryInterface(__uuidof(ITesseraDocument), document.put_void());
        return document;
    }

    bool HasItem(const wchar_t* name) {
        Variant value;
        return SUCCEEDED(context_->get_Item(B(name).get(), value.put()));
    }

    ComRef<ITesseraCommandContext> context_;
};

TEST_F(CommandsTest, OpenPresetGivesTheNamedDocumentsAsAnArray) {
    AddOpenItems(nullptr, true, nullptr);
    ASSERT_EQ(S_OK, SetOpenPreset(L"", {{L"", L"Legal", 1235, 1}, {L"DMS1", L"Finance", 1, 1}}));
    auto open = Command(CLSID_TesseraOpenCommand);
    ASSERT_EQ(S_OK, open->Update());
    ASSERT_EQ(S_OK, open->Execute());
    EXPECT_EQ((std::vector<long>{1235, 1}), SelectedNumbers());
    EXPECT_FALSE(TempFolder::Exists(Store() + L"\\presets\\open.txt")) << "a preset answers one Execute";
}

TEST_F(CommandsTest, OpenPresetWithSingleSelectionKeepsTheFirst) {
    AddOpenItems(nullptr, false, nullptr);
    ASSERT_EQ(S_OK, SetOpenPreset(L"", {{L"", L"Legal", 1234, 1}, {L"", L"Legal", 1235, 1}}));
    auto open = Command(CLSID_TesseraOpenCommand);
    ASSERT_EQ(S_OK, open->Execute());
    EXPECT_EQ((std::vector<long>{1234}), SelectedNumbers());
}

TEST_F(CommandsTest, OpenPresetNamingAMissingDocumentFails) {
    AddOpenItems(nullptr, true, nullptr);
    ASSERT_EQ(S_OK, SetOpenPreset(L"", {{L"", L"Legal", 999, 1}}));
    EXPECT_EQ(TESSERA_E_NOT_FOUND, Command(CLSID_TesseraOpenCommand)->Execute());
    EXPECT_FALSE(HasItem(L"SelectedTesseraObjects"));
}

TEST_F(CommandsTest, CancelledCommandsAnswerSFalseWithoutResult) {
    AddOpenItems(nullptr, true, nullptr);
    AddText(L"TesseraExt.Import.DocDescription", L"Notes");
    ASSERT_EQ(S_OK, SetOpenPresetCancel(L""));
    ASSERT_EQ(S_OK, SetImportPresetCancel(L""));
    EXPECT_EQ(S_FALSE, Command(CLSID_TesseraOpenCommand)->Execute());
    EXPECT_EQ(S_FALSE, Command(CLSID_TesseraImportCommand)->Execute());
    EXPECT_FALSE(HasItem(L"SelectedTesseraObjects"));
    EXPECT_FALSE(HasItem(L"ImportedDocument"));
    std::vector<DocumentInfo> docs;
    ASSERT_EQ(S_OK, ListDocuments(L"", &docs));
    EXPECT_EQ(3u, docs.size());
}

TEST_F(CommandsTest, CommandsNeedInitializeAndALoggedInSession) {
    ComRef<ITesseraCommand> open;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TesseraOpenCommand, nullptr, CLSCTX_ALL, __uuidof(ITesseraCommand),
                                     open.put_void()));
    EXPECT_EQ(E_UNEXPECTED, open->Execute());
    EXPECT_EQ(E_UNEXPECTED, open->Update());

    AddOpenItems(nullptr, true, nullptr);
    long result = -1;
    ASSERT_EQ(S_OK, session_->Logout(&result));
    ASSERT_EQ(S_OK, open->Initialize(context_.get()));
    EXPECT_EQ(TESSERA_E_NOT_LOGGED_IN, open->Execute());
}

TEST_F(CommandsTest, ExecuteFaultsApplyToTheNamedCommand) {
    AddImportItems(nullptr, L"Notes", L"PDF");
    Add(L"TesseraExt2.MultiFileSelection", VT_BOOL, 1);
    ASSERT_EQ(S_OK, AddFault(L"", L"ImportExecute", E_OUTOFMEMORY, 1));
    ASSERT_EQ(S_OK, AddRefusal(L"", L"Execute", 1));
    ASSERT_EQ(S_OK, SetOpenPreset(L"", {{L"", L"Legal", 1234, 1}}));
    EXPECT_EQ(E_OUTOFMEMORY, Command(CLSID_TesseraImportCommand)->Execute());
    EXPECT_EQ(S_FALSE, Command(CLSID_TesseraOpenCommand)->Execute()) << "a refused Execute is a cancel";
    EXPECT_TRUE(TempFolder::Exists(Store() + L"\\presets\\open.txt")) << "the preset waits for the next Execute";
}

TEST_F(CommandsTest, ImportMakesAnEmptyDocumentCheckedOutToTheUser) {
    AddImportItems(nullptr, L"Notes", L"WORDX");
    ASSERT_EQ(S_OK, SetImportPreset(L"", L"Finance", L""));
    auto import = Command(CLSID_TesseraImportCommand);
    ASSERT_EQ(S_OK, import->Update());
    ASSERT_EQ(S_OK, import->Execute());
    auto document = ImportedDocument();
    ASSERT_TRUE(document);

    long number = 0, version = 0, size = -1;
    UniqueBstr extension, description, holderId;
    VARIANT_BOOL checkedOut = VARIANT_FALSE;
    ComRef<ITesseraUser> holder;
    EXPECT_EQ(S_OK, document->get_Number(&number));
    EXPECT_EQ(S_OK, document->get_Version(&version));
    EXPECT_EQ(S_OK, document->get_Size(&size));
    EXPECT_EQ(S_OK, document->get_Extension(extension.put()));
    EXPECT_EQ(S_OK, document->get_Description(description.put()));
    EXPECT_EQ(S_OK, document->get_IsCheckedOut(&checkedOut));
    ASSERT_EQ(S_OK, document->get_CheckedOutBy(holder.put()));
    ASSERT_TRUE(holder);
    EXPECT_EQ(S_OK, holder->get_UserId(holderId.put()));
    EXPECT_EQ(2, number) << "the next number of Finance";
    EXPECT_EQ(1, version);
    EXPECT_EQ(0, size);
    EXPECT_EQ(L"docx", Text(extension));
    EXPECT_EQ(L"Notes", Text(description));
    EXPECT_EQ(VARIANT_TRUE, checkedOut);
    EXPECT_EQ(L"jdoe", Text(holderId));

    // The plug-in fills a new empty document by replacing its only version.
    std::wstring saved = scratch_.Write(L"2_1.docx", "saved text");
    ComRef<IUnknown> result;
    ASSERT_EQ(S_OK, document->CheckIn(B(saved.c_str()).get(), 2, 0, nullptr, result.put()));
    EXPECT_TRUE(result);
    // The object keeps the size it was made with; the DMS has the new content.
    EXPECT_EQ(S_OK, document->get_Size(&size));
    EXPECT_EQ(0, size);
    EXPECT_EQ(S_OK, GetDocument(session_.get(), L"Finance", 2, 1)->get_Size(&size));
    EXPECT_EQ(10, size);
    EXPECT_EQ(S_OK, document->get_IsCheckedOut(&checkedOut));
    EXPECT_EQ(VARIANT_FALSE, checkedOut);
}

TEST_F(CommandsTest, ImportWithoutTypeIsPdfAndPresetDescriptionWins) {
    AddImportItems(nullptr, L"Notes", nullptr);
    ASSERT_EQ(S_OK, SetImportPreset(L"", L"DMS1\tLegal", L"Other"));
    ASSERT_EQ(S_OK, Command(CLSID_TesseraImportCommand)->Execute());
    auto document = ImportedDocument();
    ASSERT_TRUE(document);
    long number = 0;
    UniqueBstr extension, description;
    EXPECT_EQ(S_OK, document->get_Number(&number));
    EXPECT_EQ(S_OK, document->get_Extension(extension.put()));
    EXPECT_EQ(S_OK, document->get_Description(description.put()));
    EXPECT_EQ(1236, number);
    EXPECT_EQ(L"pdf", Text(extension));
    EXPECT_EQ(L"Other", Text(description));
}

// Tests run in parallel on one desktop: only this process's dialog counts.
HWND FindOwnDialog(const wchar_t* title) {
    HWND found = nullptr;
    while ((found = FindWindowExW(nullptr, found, L"#32770", title)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(found, &process);
        if (process == GetCurrentProcessId()) return found;
    }
    return nullptr;
}

// Drives a modal dialog from a second thread, as a person would: waits for the window, acts, and
// records what it saw. The main thread sits in the dialog's modal loop meanwhile.
class DialogDriver {
public:
    DialogDriver(const wchar_t* title, std::function<void(HWND)> act)
        : thread_([this, title, act] {
              for (int i = 0; i < 400 && !dialog_; ++i) {
                  // Visible only once WM_INITDIALOG has filled it.
                  HWND found = FindOwnDialog(title);
                  if (found && IsWindowVisible(found))
                      dialog_ = found;
                  else
                      Sleep(25);
              }
              if (dialog_) act(dialog_);
          }) {}
    ~DialogDriver() { Join(); }
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    HWND Dialog() const { return dialog_; }

private:
    HWND dialog_ = nullptr;
    std::thread thread_;
};

std::vector<std::wstring> ListEntries(HWND list) {
    std::vector<std::wstring> entries;
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[512] = {};
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

class ParentWindow {
public:
    ParentWindow()
        : window_(CreateWindowExW(0, L"STATIC", L"Varnel Pro", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                  nullptr, nullptr)) {}
    ~ParentWindow() {
        if (window_) DestroyWindow(window_);
    }
    ParentWindow(const ParentWindow&) = delete;
    ParentWindow& operator=(const ParentWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

TEST_F(CommandsTest, BrowseDialogListsFilteredDocumentsAndReturnsTheSelection) {
    ParentWindow parent;
    ASSERT_TRUE(parent.get()) << "needs a display";
    ASSERT_EQ(S_OK, LockDocument(L"", L"DMS1", L"Legal", 1234, 1, L"user7", L""));
    AddOpenItems(parent.get(), true, L"PDF");
    auto open = Command(CLSID_TesseraOpenCommand);

    HWND owner = nullptr;
    std::vector<std::wstring> entries;
    DialogDriver driver(L"Tessera - Open", [&](HWND dialog) {
        owner = GetWindow(dialog, GW_OWNER);
        HWND list = GetDlgItem(dialog, IDC_TESSERA_LIST);
        entries = ListEntries(list);
        SendMessageW(list, LB_SETSEL, TRUE, 0);
        SendMessageW(list, LB_SETSEL, TRUE, 1);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    HRESULT hr = open->Execute();
    driver.Join();
    ASSERT_TRUE(driver.Dialog()) << "the browse dialog did not show";
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(parent.get(), owner);
    ASSERT_EQ(2u, entries.size()) << "the docx memo is filtered out";
    EXPECT_EQ(L"Finance\t1\t1\tBudget\tpdf\t", entries[0]);
    EXPECT_EQ(L"Legal\t1234\t1\tLease\tpdf\tuser7", entries[1]);
    EXPECT_EQ((std::vector<long>{1, 1234}), SelectedNumbers());
}

TEST_F(CommandsTest, BrowseDialogCancelSelectsNothing) {
    AddOpenItems(nullptr, false, nullptr);
    auto open = Command(CLSID_TesseraOpenCommand);
    size_t shown = 0;
    DialogDriver driver(L"Tessera - Open", [&](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_TESSERA_LIST);
        shown = ListEntries(list).size();
        SendMessageW(list, LB_SETCURSEL, 0, 0);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    HRESULT hr = open->Execute();
    driver.Join();
    ASSERT_TRUE(driver.Dialog());
    EXPECT_EQ(S_FALSE, hr);
    EXPECT_EQ(3u, shown);
    EXPECT_FALSE(HasItem(L"SelectedTesseraObjects"));
}

TEST_F(CommandsTest, ImportDialogTakesTheTypedProfile) {
    ParentWindow parent;
    ASSERT_TRUE(parent.get());
    AddImportItems(parent.get(), L"Notes", L"ANSI");
    auto import = Command(CLSID_TesseraImportCommand);
    std::wstring prefilled, type;
    DialogDriver driver(L"Tessera - Import", [&](HWND dialog) {
        wchar_t text[256] = {};
        GetDlgItemTextW(dialog, IDC_TESSERA_DESCRIPTION, text, 256);
        prefilled = text;
        GetDlgItemTextW(dialog, IDC_TESSERA_DOCTYPE, text, 256);
        type = text;
        SetDlgItemTextW(dialog, IDC_TESSERA_DESCRIPTION, L"Typed");
        HWND databases = GetDlgItem(dialog, IDC_TESSERA_DATABASE);
        LRESULT legal = SendMessageW(databases, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(L"DMS1: Legal"));
        SendMessageW(databases, CB_SETCURSEL, static_cast<WPARAM>(legal), 0);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    HRESULT hr = import->Execute();
    driver.Join();
    ASSERT_TRUE(driver.Dialog()) << "the import dialog did not show";
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(L"Notes", prefilled);
    EXPECT_EQ(L"ANSI", type);
    auto document = ImportedDocument();
    ASSERT_TRUE(document);
    long number = 0;
    UniqueBstr description, extension;
    EXPECT_EQ(S_OK, document->get_Number(&number));
    EXPECT_EQ(S_OK, document->get_Description(description.put()));
    EXPECT_EQ(S_OK, document->get_Extension(extension.put()));
    EXPECT_EQ(1236, number);
    EXPECT_EQ(L"Typed", Text(description));
    EXPECT_EQ(L"txt", Text(extension));
}

}  // namespace
}  // namespace tessera::test
