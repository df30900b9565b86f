// TesseraClient.h - thin helpers over the DMS's counted references. Every failure raises _com_error
// through TesseraCheck, as the DMS operations expect.
#pragma once

#include <TesseraDMS.h>

#include <string>

// A BSTR argument; raises E_OUTOFMEMORY when it cannot be allocated. The string is allocated first
// and the _bstr_t that takes it over is returned as made, so its counted data is never copied.
inline _bstr_t TesseraBstr(const std::wstring& text) {
    BSTR raw = SysAllocString(text.c_str());
    if (!raw) TesseraCheck(E_OUTOFMEMORY);
    try {
        return _bstr_t(raw, false);
    } catch (...) {
        SysFreeString(raw);
        throw;
    }
}

// Reads a BSTR property, e.g. TesseraGetText(document, &ITesseraDocument::get_Name).
template <class Object, class Getter>
std::wstring TesseraGetText(Object* object, Getter getter) {
    if (!object) TesseraCheck(E_POINTER);
    BSTR raw = nullptr;
    HRESULT hr = (object->*getter)(&raw);
    _bstr_t owned(raw, false);  // released on every path, also when the call failed
    TesseraCheck(hr);
    return raw ? std::wstring(raw, SysStringLen(raw)) : std::wstring();
}

inline ITesseraSessionsPtr TesseraSessions(ITesseraDMS* dms) {
    if (!dms) TesseraCheck(E_POINTER);
    ITesseraSessionsPtr sessions;
    TesseraCheck(dms->get_Sessions(&sessions), __uuidof(ITesseraDMS));
    if (!sessions) TesseraCheck(E_POINTER);
    return sessions;
}

// The session for a server: the one the collection holds, else a new one.
inline ITesseraSessionPtr TesseraSessionFor(ITesseraSessions* sessions, const std::wstring& server) {
    if (!sessions) TesseraCheck(E_POINTER);
    ITesseraSessionPtr session;
    _bstr_t name = TesseraBstr(server);
    try {
        TesseraCheck(sessions->get_Item(name, &session), __uuidof(ITesseraSessions));
    } catch (const _com_error&) {
        session = nullptr;
    }
    if (!session) TesseraCheck(sessions->Add(name, &session), __uuidof(ITesseraSessions));
    if (!session) TesseraCheck(E_POINTER);
    return session;
}
