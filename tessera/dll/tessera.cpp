// The in-process COM server. DllMain stays the runtime's default: nothing runs under the loader lock.
#include <windows.h>

#include "Server.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) { return tessera::GetClassObject(clsid, iid, out); }

STDAPI DllCanUnloadNow() { return tessera::CanUnloadNow(); }

STDAPI DllRegisterServer() { return tessera::RegisterServer(reinterpret_cast<HMODULE>(&__ImageBase)); }

STDAPI DllUnregisterServer() { return tessera::UnregisterServer(); }
