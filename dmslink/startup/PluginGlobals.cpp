// The module-wide objects, apart from the start-up code so that test programs carrying their own
// module definition can link the registry without it.
#include "startup/PluginState.h"

CDocumentManager* gDocumentManager = nullptr;
TSManager* gTSManager = nullptr;
SaveOrigin gSaveOrigin;
HMODULE gLanguageModule = nullptr;
