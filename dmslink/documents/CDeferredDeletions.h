// CDeferredDeletions.h - local copies that the host may still hold open, deleted through the host's
// own file removal at its next idle moment, each with its folder once that is empty. The folder's
// claim stays with the deletion until it has run, so no other host can take the folder (and put a
// copy of its own at the same path) in between. Whatever still
// waits when the object goes (the plug-in's unload, after the host has closed its documents) is
// deleted then: no copy outlives the session that made it. Main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Utilities/CAPHandles.h"
#include "VarnelSDK.h"
#include "documents/CFolderClaim.h"

class CDeferredDeletions {
public:
    CDeferredDeletions() = default;
    ~CDeferredDeletions();
    CDeferredDeletions(const CDeferredDeletions&) = delete;
    CDeferredDeletions& operator=(const CDeferredDeletions&) = delete;

    // The copy goes at the host's next idle call, then the claimed folder (when it is held) once it
    // is empty. Raises when the host refuses the idle procedure; nothing waits then, and the claim
    // is the caller's again.
    void Add(CAPHostPath copy, CFolderClaim& folder);

private:
    struct Deletion {
        CDeferredDeletions* owner;
        CAPHostPath copy;
        CFolderClaim folder;
    };
    // The idle procedure; its client data is the Deletion.
    static void VXAPI DeferredFileDelete(void* deletion);
    void Run(Deletion* deletion) noexcept;

    std::vector<std::unique_ptr<Deletion>> waiting_;
};
