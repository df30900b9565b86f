// A DLL with only one of the two exports: the loader must refuse it before calling anything.
#include "VarnelSDK.h"

extern "C" ASBool VXAPI VarnelPlugInMain(void* handshake) { return 1; }
