// DmsTest with more users and documents on SRV1, the trace lines, and a record of every progress
// dialog the operations show.
#pragma once

#include <TesseraDMS.h>

#include <functional>
#include <string>
#include <vector>

#include "DocumentsFixture.h"

// What a progress dialog showed: at initialisation, and after each WM_SETDOCUMENTINFO.
struct ShownDialog {
    std::wstring caption;
    bool cancelEnabled = false;
    std::vector<std::wstring> initial;               // name, author, number, version, size
    std::vector<std::vector<std::wstring>> details;  // the same after each WM_SETDOCUMENTINFO
};

// One item the operation added to its command context (recorded by the spy context).
struct ContextItem {
    std::wstring name;
    VARTYPE type;
    std::wstring value;  // texts, numbers and array contents as text; "<null>" for a null text
    bool operator==(const ContextItem& other) const {
        return name == other.name && type == other.type && value == other.value;
    }
};
inline void PrintTo(const ContextItem& item, std::ostream* out) {
    *out << vxhost::ToUtf8(item.name) << " vt " << item.type << " " << vxhost::ToUtf8(item.value);
}

class OperationsTest : public DmsTest {
protected:
    void SetUp() override;
    void TearDown() override;

    static std::vector<std::string> Traces();
    static void ClearTraces();
    static size_t TraceCount(const std::string& line);
    static bool HasTracePrefix(const std::string& prefix);

    const std::vector<ShownDialog>& Dialogs() const;
    // Runs `action` once, as the next progress dialog has handled `message` (in its modal loop).
    static void During(UINT message, std::function<void()> action);

    // Replaces the stand-in's command context with the spy (the commands still run for real).
    void UseSpyContext(bool emptySelection = false);
    static std::vector<ContextItem> SpyItems();

    tessera::DocumentInfo Info(long number, long version = 1);
    long LatestVersion(long number);
    void SetOpen(const std::vector<long>& numbers);
    const std::wstring& Store() const { return store_.path(); }

    // Lease (1234, 1536 bytes, author jdoe), Memo (1235, 3145728 bytes, no author), Budget (1236, 1024
    // bytes), Empty (1237, no content).
    const long lease_ = 1234, memo_ = 1235, budget_ = 1236, empty_ = 1237;

private:
    HHOOK hook_ = nullptr;
    DWORD spyCookie_ = 0;
};
