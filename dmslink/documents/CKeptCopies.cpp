#include "documents/CKeptCopies.h"

#include <algorithm>
#include <utility>

#include "Files/CAPLongPaths.h"
#include "Files/CAPPathText.h"
#include "VxGuard.h"
#include "documents/TempWorkspace.h"

namespace {

const char kSite[] = "CDocumentManager";

FILETIME LastWrite(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return FILETIME{};
    return data.ftLastWriteTime;
}

}  // namespace

void CKeptCopies::Collect() {
    listed_.clear();
    VX_TRY {
        const std::wstring root = GetTempRootFolder();
        if (!CAPPathExists(root)) return Publish();
        for (const std::wstring& name : SubFolders(root)) {
            std::wstring folder = root;
            folder.append(L"\\").append(name);
            if (!IsWorkspaceFolderName(name) || !IsOwnEntry(folder)) continue;
            Entry entry;
            KeptCopy& kept = entry.copy;
            if (!ReadFileData(folder + L"\\TSFile.dat", &kept.record) || !IsPlainFileName(kept.record.name)) continue;
            kept.copy = folder + L"\\" + kept.record.name;
            if (!IsOwnEntry(kept.copy) || !IsOwed(kept.copy) || documents_.FindASPathName(kept.copy)) continue;
            // This session's own kept copies are the registry's already; any other folder is taken
            // now, unless a living host has it.
            if (!documents_.HoldsClaim(folder) && !entry.claim.Take(folder)) kept.openElsewhere = true;
            // Taken in between by this host's reopen, or no longer owed: not kept any more.
            if (!kept.openElsewhere && !IsOwed(kept.copy)) continue;
            OwedNote note = ReadOwedNote(kept.copy);
            kept.name = note.name.empty() ? kept.record.name : note.name;
            kept.reason = note.reason;
            kept.saved = LastWrite(kept.copy);
            listed_.push_back(std::move(entry));
        }
        std::stable_sort(listed_.begin(), listed_.end(), [](const Entry& a, const Entry& b) {
            return std::make_pair(a.copy.record.number, a.copy.record.version) <
                   std::make_pair(b.copy.record.number, b.copy.record.version);
        });
    }
    VX_CATCH(kSite, "CDocumentManager::ListKeptCopies")
    Publish();
}

void CKeptCopies::Publish() {
    entries_.clear();
    for (const Entry& entry : listed_) entries_.push_back(entry.copy);
}

std::vector<CKeptCopies::Entry>::iterator CKeptCopies::At(const std::wstring& copy) {
    return std::find_if(listed_.begin(), listed_.end(),
                        [&](const Entry& entry) { return CAPSamePath(entry.copy.copy, copy); });
}

const KeptCopy* CKeptCopies::Find(const std::wstring& copy) const {
    for (const KeptCopy& entry : entries_)
        if (CAPSamePath(entry.copy, copy)) return &entry;
    return nullptr;
}

CFolderClaim CKeptCopies::TakeClaim(Entry& entry) {
    if (entry.claim.Held()) return std::move(entry.claim);
    return documents_.TakeBackClaim(CAPFolderOf(entry.copy.copy));
}

void CKeptCopies::Delete(const std::wstring& copy) {
    auto it = At(copy);
    if (it == listed_.end() || it->copy.openElsewhere) return;
    const std::wstring recordFile = RecordFileOf(copy);
    CFolderClaim claim = TakeClaim(*it);
    listed_.erase(it);
    Publish();
    if (!claim.Held() || claim.DeleteFolder()) return;
    claim.LetGoOfRecordFile();
    if (IsOwnEntry(recordFile)) DeleteFileW(recordFile.c_str());
    ClearOwed(copy);
}

void CKeptCopies::HandOver(const std::wstring& copy) {
    auto it = At(copy);
    if (it == listed_.end() || it->copy.openElsewhere) return;
    if (it->claim.Held()) {
        it->claim.LetGoOfRecordFile();
        documents_.KeepClaim(std::move(it->claim));
    }
    listed_.erase(it);
    Publish();
}

void CKeptCopies::NoteRefusal(const std::wstring& copy, const std::wstring& reason) {
    auto it = At(copy);
    if (it == listed_.end()) return;
    VX_TRY { ::NoteRefusal(copy, it->copy.name, reason); }
    VX_CATCH(kSite, "CDocumentManager::DocumentWasClosed")
    it->copy.reason = reason;
    Publish();
}
