// Defines the class ids once for every module linking the library (DEFINE_GUID gives selectany data).
// The system headers come first so that only the class ids are defined here.
#include <windows.h>
#include <oleauto.h>
#include <comdef.h>

#include <initguid.h>

#include <TesseraDMS.h>
