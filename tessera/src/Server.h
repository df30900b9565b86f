// What the DLL's exports hand on to the library.
#pragma once

#include <windows.h>

namespace tessera {

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);
HRESULT CanUnloadNow();
// Writes HKCR\CLSID\{...}\InprocServer32 for the four classes, naming module as the server.
HRESULT RegisterServer(HMODULE module);
HRESULT UnregisterServer();

}  // namespace tessera
