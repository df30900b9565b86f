// The module-wide objects, apart from the start-up code so that test programs carrying their own
// module definition can link the registry without it.
#include "VxHFT.h"
#include "documents/CDocumentManager.h"
#include "startup/PluginState.h"

CDocumentManager* gDocumentManager = nullptr;
TSManager* gTSManager = nullptr;
SaveOrigin gSaveOrigin;
HMODULE gLanguageModule = nullptr;

ScopedHostPath::~ScopedHostPath() {
    if (path_) VxReleasePath(fileSys_, path_);
}
