// CAPArray, CAPError, the trace sink, module state and string loading.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CAPArray.h"
#include "CAPError.h"
#include "VxApp.h"
#include "VxTrace.h"

namespace {

TEST(CAPArrayTest, IndexOutsideIsNullAndRemovalMovesLaterEntriesDown) {
    CAPArray array;
    int a = 1, b = 2, c = 3;
    array.Append(&a);
    array.Append(&b);
    array.Append(&c);
    EXPECT_EQ(array.GetAt(-1), nullptr);
    EXPECT_EQ(array.GetAt(3), nullptr);
    array.RemoveAt(1);
    ASSERT_EQ(array.GetCount(), 2);
    EXPECT_EQ(array.GetAt(1), &c);
    array.RemoveAt(5);
    EXPECT_EQ(array.GetCount(), 2);
}

TEST(CAPErrorTest, RecordsCarryFormattedStringTableTexts) {
    CAPError errors;
    errors.AddError(18042, L"C:\\a.pdf", L"C:\\b.pdf");
    errors.AddWarning(900);
    ASSERT_EQ(errors.GetCount(), 2);
    EXPECT_EQ(errors.GetAt(0)->text, L"Cannot copy \"C:\\a.pdf\" to \"C:\\b.pdf\".");
    EXPECT_EQ(errors.GetAt(0)->severity, kCAPError);
    EXPECT_EQ(errors.GetAt(1)->text, L"plain");
    EXPECT_EQ(errors.GetAt(1)->severity, kCAPWarning);
    EXPECT_EQ(errors.GetAt(2), nullptr);
}

TEST(CAPErrorTest, LastErrorSkipsWarningsAndValueLandsOnTheNewestError) {
    CAPError errors;
    EXPECT_EQ(errors.GetLastError(), nullptr);
    errors.AddError(18031);
    errors.AddWarning(900);
    EXPECT_EQ(errors.GetLastError(), errors.GetAt(0));
    CAPErrorData* added = errors.AddErrorWithValue(ERROR_ACCESS_DENIED, 18031);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added, errors.GetAt(2));
    EXPECT_EQ(added->value, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(errors.GetAt(0)->value, 0u);
    EXPECT_EQ(errors.GetLastError(), added);
    // A missing string id still gives a record, with an empty text.
    errors.AddError(4242);
    EXPECT_EQ(errors.GetLastError()->text, L"");
}

std::vector<std::string>* gLines;
void Collect(const char* line) { gLines->push_back(line); }

TEST(TraceTest, LinesAreLabelBlankValue) {
    std::vector<std::string> lines;
    gLines = &lines;
    VxTraceSink previous = VxSetTraceSink(Collect);
    VxTrace("File size:", 1536L);
    VxTrace("Checkout Error", -2147467259L);
    VxTrace("AddDocument", L"C:\\Temp\\1234_2.pdf");
    VxTrace("Label", static_cast<const char*>(nullptr));
    VxSetTraceSink(previous);
    VxTrace("not collected", 1L);
    EXPECT_EQ(lines, (std::vector<std::string>{"File size: 1536", "Checkout Error -2147467259",
                                               "AddDocument C:\\Temp\\1234_2.pdf", "Label "}));
}

TEST(ModuleStateTest, ResourceModuleCanBeSwitchedAndRestored) {
    // Another module without our string table: strings come from it while it is current.
    HMODULE other = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(other, nullptr);
    VxSetResourceHandle(other);
    EXPECT_EQ(VxResourceHandle(), other);
    EXPECT_EQ(VxLoadString(900), L"");
    VxSetResourceHandle(nullptr);
    EXPECT_EQ(VxLoadString(900), L"plain");
    FreeLibrary(other);
}

TEST(FormatTest, WideFormatsFollowTheSystemRuntime) {
    EXPECT_EQ(VxFormat(L"%s.%s", L"Lease", L"pdf"), L"Lease.pdf");
    EXPECT_EQ(VxFormat(L"%I64u KB", 4882812ULL), L"4882812 KB");
    EXPECT_EQ(VxFormatString(18042, L"a", L"b"), L"Cannot copy \"a\" to \"b\".");
    EXPECT_EQ(VxFormat(L"%s", std::wstring(3000, L'x').c_str()).size(), 3000u);
}

}  // namespace
