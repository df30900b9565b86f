// The DMS class ids for the module (DEFINE_GUID gives selectany data, so a test program that also
// links the DMS stand-in keeps one copy). The system headers come first so that only the class ids
// are defined here.
#include <windows.h>
#include <oleauto.h>
#include <comdef.h>

#include <initguid.h>

#include <TesseraDMS.h>
