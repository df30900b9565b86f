// TesseraDMS.h - the Tessera DMS COM interfaces, shared by dmslink (the client) and the DMS stand-in.
//
// Every interface derives from IDispatch so that objects can travel in VARIANTs (VT_DISPATCH) and in
// SAFEARRAYs of objects. The methods are the raw COM calls (HRESULT results); the plug-in calls them
// through the counted references at the end of this file and raises every failing HRESULT as
// _com_error with TesseraCheck.
//
// Threads: the objects are free-threaded; the plug-in's workers call objects made on the main thread
// without marshalling.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <comdef.h>

// GCC takes the interface ids from __CRT_UUID_DECL below and warns that it ignores __declspec(uuid).
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
#endif

// Raise a failing HRESULT as _com_error carrying the interface's IID.
inline void TesseraCheck(HRESULT hr, REFIID iid = IID_NULL) {
    if (FAILED(hr)) {
        (void)iid;
        throw _com_error(hr);
    }
}

// Well-known HRESULTs of the DMS.
enum : HRESULT {
    TESSERA_E_IN_USE = (HRESULT)0x80042249,  // the document is checked out by another user
    TESSERA_E_NOT_FOUND = (HRESULT)0x80042201,
    TESSERA_E_NOT_LOGGED_IN = (HRESULT)0x80042202,
    TESSERA_E_NO_SESSION = (HRESULT)0x80042203,
    TESSERA_E_NO_SERVER = (HRESULT)0x80042204,    // the server name is unknown to the DMS
    TESSERA_E_BAD_STORE = (HRESULT)0x80042205,    // the DMS's own data cannot be read
};

// Class ids
DEFINE_GUID(CLSID_TesseraDMS, 0x8FC65521, 0xF830, 0x5BE2, 0x87, 0x60, 0x2C, 0xFD, 0x3E, 0xBA, 0xCC, 0x10);
DEFINE_GUID(CLSID_TesseraCommandContext, 0x3545A36C, 0x00C7, 0x5527, 0xB1, 0xE6, 0xE3, 0x3B, 0x10, 0x18, 0x67,
            0xE6);
DEFINE_GUID(CLSID_TesseraOpenCommand, 0xBCDED475, 0x42B3, 0x5A61, 0xB3, 0x76, 0xF6, 0x89, 0xD5, 0x05, 0x23, 0x5F);
DEFINE_GUID(CLSID_TesseraImportCommand, 0x9914156B, 0x9B4D, 0x54BE, 0xB6, 0x38, 0xD7, 0x16, 0x4E, 0xD3, 0x4A,
            0xE0);

struct ITesseraSessions;
struct ITesseraSession;
struct ITesseraDatabases;
struct ITesseraDatabase;
struct ITesseraDocument;
struct ITesseraUser;
struct ITesseraCommandContext;

// ---------------------------------------------------------------------------------------------
// DMS object
struct __declspec(uuid("D1E357A3-EBD0-5D2C-9018-1FA74B731757")) ITesseraDMS : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Sessions(ITesseraSessions** sessions) = 0;
};

// Sessions: one session per server name.
struct __declspec(uuid("75E3F9A1-A68E-53BC-9220-B96B76520BFC")) ITesseraSessions : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Item(BSTR server, ITesseraSession** session) = 0;  // fails if none
    virtual HRESULT STDMETHODCALLTYPE Add(BSTR server, ITesseraSession** session) = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove(BSTR server) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(long* count) = 0;
};

struct __declspec(uuid("ECB8D37B-3881-54C0-BBBA-72CF3DAD8279")) ITesseraSession : public IDispatch {
    // result: 0 on success, a non-zero DMS code when the credentials are refused.
    virtual HRESULT STDMETHODCALLTYPE Login(BSTR user, BSTR password, long* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE TrustedLogin(long* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Logout(long* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Databases(ITesseraDatabases** databases) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ServerName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LoggedIn(VARIANT_BOOL* loggedIn) = 0;
};

struct __declspec(uuid("F97CBC04-B681-56E5-A2EE-89AF15DB0B57")) ITesseraDatabases : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Item(BSTR name, ITesseraDatabase** database) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(long* count) = 0;
};

struct __declspec(uuid("F62F9AC4-3B68-59B2-937C-5C560FB301FD")) ITesseraDatabase : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Session(ITesseraSession** session) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDocument(long number, long version, ITesseraDocument** document) = 0;
};

struct __declspec(uuid("0679A897-E289-524B-A209-81ECDC090778")) ITesseraUser : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_UserId(BSTR* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FullName(BSTR* name) = 0;
};

// The record (base object) interface; the document interface extends it.
struct __declspec(uuid("A05DA1AA-6C73-5408-8BF0-5BB9D8FA78C5")) ITesseraRecord : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_AccessRights(long* rights) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Database(ITesseraDatabase** database) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CheckedOutBy(ITesseraUser** user) = 0;  // null when nobody
    virtual HRESULT STDMETHODCALLTYPE Unlock(VARIANT_BOOL* released) = 0;
};

struct __declspec(uuid("BB7E74B1-878F-5E25-815F-ADB6AFE8CAF8")) ITesseraDocument : public ITesseraRecord {
    virtual HRESULT STDMETHODCALLTYPE get_Number(long* number) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Version(long* version) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Size(long* bytes) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Extension(BSTR* extension) = 0;  // without the dot
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Author(ITesseraUser** author) = 0;  // null when none
    virtual HRESULT STDMETHODCALLTYPE CheckOut(BSTR path, long option, double dueDate, BSTR comment) = 0;
    // result: a result object when the check-in went through, null when the DMS refused it.
    virtual HRESULT STDMETHODCALLTYPE CheckIn(BSTR path, long disposition, long keepCheckedOut, void* reserved,
                                              IUnknown** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsCheckedOut(VARIANT_BOOL* checkedOut) = 0;
};

// Command context: named VARIANT items, read by the commands and written back by them.
struct __declspec(uuid("85060FAE-2F43-53BE-A0CF-7FA5E966E3B1")) ITesseraCommandContext : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE AddItem(BSTR name, VARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Item(BSTR name, VARIANT* value) = 0;  // fails if none
    virtual HRESULT STDMETHODCALLTYPE get_Count(long* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ItemName(long index, BSTR* name) = 0;
};

// Open and import commands. Execute answers S_OK when the command went through, S_FALSE when the
// user cancelled or there is nothing to register.
struct __declspec(uuid("B68C7EC4-499F-564C-B905-1C398D454376")) ITesseraCommand : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Initialize(ITesseraCommandContext* context) = 0;
    virtual HRESULT STDMETHODCALLTYPE Update() = 0;
    virtual HRESULT STDMETHODCALLTYPE Execute() = 0;
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(ITesseraDMS, 0xD1E357A3, 0xEBD0, 0x5D2C, 0x90, 0x18, 0x1F, 0xA7, 0x4B, 0x73, 0x17, 0x57)
__CRT_UUID_DECL(ITesseraSessions, 0x75E3F9A1, 0xA68E, 0x53BC, 0x92, 0x20, 0xB9, 0x6B, 0x76, 0x52, 0x0B, 0xFC)
__CRT_UUID_DECL(ITesseraSession, 0xECB8D37B, 0x3881, 0x54C0, 0xBB, 0xBA, 0x72, 0xCF, 0x3D, 0xAD, 0x82, 0x79)
__CRT_UUID_DECL(ITesseraDatabases, 0xF97CBC04, 0xB681, 0x56E5, 0xA2, 0xEE, 0x89, 0xAF, 0x15, 0xDB, 0x0B, 0x57)
__CRT_UUID_DECL(ITesseraDatabase, 0xF62F9AC4, 0x3B68, 0x59B2, 0x93, 0x7C, 0x5C, 0x56, 0x0F, 0xB3, 0x01, 0xFD)
__CRT_UUID_DECL(ITesseraUser, 0x0679A897, 0xE289, 0x524B, 0xA2, 0x09, 0x81, 0xEC, 0xDC, 0x09, 0x07, 0x78)
__CRT_UUID_DECL(ITesseraRecord, 0xA05DA1AA, 0x6C73, 0x5408, 0x8B, 0xF0, 0x5B, 0xB9, 0xD8, 0xFA, 0x78, 0xC5)
__CRT_UUID_DECL(ITesseraDocument, 0xBB7E74B1, 0x878F, 0x5E25, 0x81, 0x5F, 0xAD, 0xB6, 0xAF, 0xE8, 0xCA, 0xF8)
__CRT_UUID_DECL(ITesseraCommandContext, 0x85060FAE, 0x2F43, 0x53BE, 0xA0, 0xCF, 0x7F, 0xA5, 0xE9, 0x66, 0xE3,
                0xB1)
__CRT_UUID_DECL(ITesseraCommand, 0xB68C7EC4, 0x499F, 0x564C, 0xB9, 0x05, 0x1C, 0x39, 0x8D, 0x45, 0x43, 0x76)
#endif

// Counted references to the DMS objects.
_COM_SMARTPTR_TYPEDEF(ITesseraDMS, __uuidof(ITesseraDMS));
_COM_SMARTPTR_TYPEDEF(ITesseraSessions, __uuidof(ITesseraSessions));
_COM_SMARTPTR_TYPEDEF(ITesseraSession, __uuidof(ITesseraSession));
_COM_SMARTPTR_TYPEDEF(ITesseraDatabases, __uuidof(ITesseraDatabases));
_COM_SMARTPTR_TYPEDEF(ITesseraDatabase, __uuidof(ITesseraDatabase));
_COM_SMARTPTR_TYPEDEF(ITesseraUser, __uuidof(ITesseraUser));
_COM_SMARTPTR_TYPEDEF(ITesseraRecord, __uuidof(ITesseraRecord));
_COM_SMARTPTR_TYPEDEF(ITesseraDocument, __uuidof(ITesseraDocument));
_COM_SMARTPTR_TYPEDEF(ITesseraCommandContext, __uuidof(ITesseraCommandContext));
_COM_SMARTPTR_TYPEDEF(ITesseraCommand, __uuidof(ITesseraCommand));

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
