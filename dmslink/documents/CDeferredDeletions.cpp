#include "documents/CDeferredDeletions.h"

#include <windows.h>

#include <algorithm>

#include "VxGuard.h"
#include "VxHFT.h"

namespace {
const char kSite[] = "CDocumentManager";
}  // namespace

CDeferredDeletions::~CDeferredDeletions() {
    while (!waiting_.empty()) Run(waiting_.back().get());
}

void CDeferredDeletions::Add(CAPHostPath copy, CFolderClaim& folder) {
    auto deletion = std::make_unique<Deletion>(Deletion{this, std::move(copy), CFolderClaim()});
    // Room first: once the host holds the procedure, keeping the deletion cannot fail.
    waiting_.reserve(waiting_.size() + 1);
    VxRegisterIdle(DeferredFileDelete, deletion.get(), 1);
    deletion->folder = std::move(folder);
    waiting_.push_back(std::move(deletion));
}

void VXAPI CDeferredDeletions::DeferredFileDelete(void* raw) {
    VxBoundary(VX_SITE(kSite, "DeferredFileDelete"), [&] {
        Deletion* deletion = static_cast<Deletion*>(raw);
        deletion->owner->Run(deletion);
    });
}

void CDeferredDeletions::Run(Deletion* deletion) noexcept {
    // Unregistered first: whatever happens below, the procedure runs only once for this copy.
    VX_TRY { VxUnregisterIdle(DeferredFileDelete, deletion); }
    VX_CATCH(kSite, "DeferredFileDelete")
    VX_TRY { VxRemoveFile(nullptr, deletion->copy.get()); }
    VX_CATCH(kSite, "DeferredFileDelete")
    deletion->copy.Reset();
    // Only now may another host have the folder.
    deletion->folder.DeleteIfEmpty();
    auto found = std::find_if(waiting_.begin(), waiting_.end(),
                              [deletion](const std::unique_ptr<Deletion>& d) { return d.get() == deletion; });
    if (found != waiting_.end()) waiting_.erase(found);
}
