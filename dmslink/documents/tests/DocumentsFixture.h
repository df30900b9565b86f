// The host, a DMS stand-in store with server SRV1 (database DOCS, user jdoe), a TSManager logged in
// to it, a registry under test and the lifecycle layer over both. The plug-in's temporary root is a
// folder of the test. DocumentsTest adds document 1234 "Lease" in versions 1 and 2.
#pragma once

#include <string>
#include <vector>

#include "VxHostedTest.h"
#include "WorkspaceRoot.h"
#include "documents/CDocumentManager.h"
#include "documents/TempWorkspace.h"
#include "dms/TSManager.h"
#include "module/CDocumentLifecycle.h"
#include "tessera/StandIn.h"

// The same DMS document, except that its access rights cannot be read (the DMS refuses the call).
DmsDocumentPtr WithUnreadableRights(DmsDocumentPtr document);

// Ends the session from inside the next progress dialog, as the host's loop does at a log-off
// (PostQuitMessage on this thread): once the dialog has shown `shown` sets of details, those it
// starts with counting as the first. The test takes the quit out of the queue again.
class QuitDuringProgress {
public:
    QuitDuringProgress(int shown, int exitCode);
    ~QuitDuringProgress();
    QuitDuringProgress(const QuitDuringProgress&) = delete;
    QuitDuringProgress& operator=(const QuitDuringProgress&) = delete;
    bool Posted() const;
    // Set when the quit has been posted.
    HANDLE PostedEvent() const { return posted_; }

private:
    HHOOK hook_ = nullptr;
    HANDLE posted_ = nullptr;
};

class DmsTest : public VxHostedTest {
protected:
    void SetUp() override;
    void TearDown() override;

    CDocumentLifecycle Life() { return CDocumentLifecycle(*manager_, *docs_); }
    DmsDocumentPtr Dms(long number, long version = 1);
    void DrainIdle();
    static std::wstring Root() { return GetTempRootFolder(); }
    static bool Exists(const std::wstring& path) { return vxhost::TempFolder::Exists(path); }

    CAPComApartment com_{CoInitialize(nullptr)};
    VxTempFolder store_;
    VxTempFolder files_;
    TSServerList servers_;
    std::unique_ptr<TSManager> manager_;
    std::unique_ptr<CDocumentManager> docs_;

private:
    VxWorkspaceRoot workspace_;
};

class DocumentsTest : public DmsTest {
protected:
    void SetUp() override;

    struct CheckedOut {
        std::wstring file;
        TrackedDocument* record = nullptr;
        vxhost::Document* doc = nullptr;
    };
    // As the check-out does it: a fresh VRL folder, the DMS check-out into "%d_%d.pdf" there, and a
    // record with its TSFile.dat; then, with `open`, the host opens it and the record is bound.
    CheckedOut CheckOut(long version = 2, bool open = true);
    void Close(const CheckedOut& copy);  // host close, then the close notification's work
    // Edited and saved in the host, with the save notification's mark.
    void EditAndSave(const CheckedOut& copy, const std::string& edit = " edited");

    DocumentLookup Lookup();
    std::vector<tessera::DocumentInfo> Versions();  // of document 1234
    std::wstring LockedBy();
    void Fault(const wchar_t* operation, long count = 1);  // refusal
    static std::wstring RecordFileOf(const std::wstring& file);

    long number_ = 1234;
};
