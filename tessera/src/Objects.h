// The stand-in's COM objects.
#pragma once

#include <TesseraDMS.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ComBase.h"
#include "Store.h"
#include "tessera/StandIn.h"

// Interfaces the commands use to walk the DMS object they are given. They are COM interfaces, not
// C++ casts, so a command works with a DMS object of another module too.
struct ITesseraSessionList : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SessionAt(long index, ITesseraSession** session) = 0;
};
struct ITesseraSessionDetails : public IUnknown {
    // Fails with TESSERA_E_NOT_LOGGED_IN unless a user is logged in.
    virtual HRESULT STDMETHODCALLTYPE GetDetails(BSTR* storeFolder, BSTR* userId) = 0;
};
// {5B0E7A43-2C1D-4E8F-9A61-3D7C2B9E4F10}, {8D2F6C15-7A3B-4C9E-B204-6E1F5A8D3C27}
__CRT_UUID_DECL(ITesseraSessionList, 0x5B0E7A43, 0x2C1D, 0x4E8F, 0x9A, 0x61, 0x3D, 0x7C, 0x2B, 0x9E, 0x4F, 0x10)
__CRT_UUID_DECL(ITesseraSessionDetails, 0x8D2F6C15, 0x7A3B, 0x4C9E, 0xB2, 0x04, 0x6E, 0x1F, 0x5A, 0x8D, 0x3C, 0x27)

namespace tessera {

class Session;
class Database;

class Dms final : public ComBase<ITesseraDMS> {
public:
    explicit Dms(std::wstring folder);
    HRESULT STDMETHODCALLTYPE get_Sessions(ITesseraSessions** sessions) override;

protected:
    void* Find(REFIID iid) override;

private:
    ComRef<ITesseraSessions> sessions_;
};

class Sessions final : public ComBase<ITesseraSessions, ITesseraSessionList> {
public:
    explicit Sessions(std::wstring folder) : folder_(std::move(folder)) {}
    HRESULT STDMETHODCALLTYPE get_Item(BSTR server, ITesseraSession** session) override;
    HRESULT STDMETHODCALLTYPE Add(BSTR server, ITesseraSession** session) override;
    HRESULT STDMETHODCALLTYPE Remove(BSTR server) override;
    HRESULT STDMETHODCALLTYPE get_Count(long* count) override;
    HRESULT STDMETHODCALLTYPE SessionAt(long index, ITesseraSession** session) override;

protected:
    void* Find(REFIID iid) override;

private:
    const std::wstring folder_;
    std::mutex mutex_;
    std::vector<ComRef<Session>> sessions_;
};

class Session final : public ComBase<ITesseraSession, ITesseraSessionDetails> {
public:
    Session(std::wstring folder, std::wstring server) : folder_(std::move(folder)), server_(std::move(server)) {}
    HRESULT STDMETHODCALLTYPE Login(BSTR user, BSTR password, long* result) override;
    HRESULT STDMETHODCALLTYPE TrustedLogin(long* result) override;
    HRESULT STDMETHODCALLTYPE Logout(long* result) override;
    HRESULT STDMETHODCALLTYPE get_Databases(ITesseraDatabases** databases) override;
    HRESULT STDMETHODCALLTYPE get_ServerName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_LoggedIn(VARIANT_BOOL* loggedIn) override;
    HRESULT STDMETHODCALLTYPE GetDetails(BSTR* storeFolder, BSTR* userId) override;

    const std::wstring& Folder() const { return folder_; }
    const std::wstring& Server() const { return server_; }
    // The logged-in user, or TESSERA_E_NOT_LOGGED_IN.
    HRESULT CurrentUser(std::wstring* user);

protected:
    void* Find(REFIID iid) override;

private:
    HRESULT LoginAs(const wchar_t* operation, const std::wstring& user, const std::wstring* password, long* result);

    const std::wstring folder_;
    const std::wstring server_;
    std::mutex mutex_;
    std::wstring user_;  // empty while logged out
};

class Databases final : public ComBase<ITesseraDatabases> {
public:
    explicit Databases(ComRef<Session> session) : session_(std::move(session)) {}
    HRESULT STDMETHODCALLTYPE get_Item(BSTR name, ITesseraDatabase** database) override;
    HRESULT STDMETHODCALLTYPE get_Count(long* count) override;

protected:
    void* Find(REFIID iid) override;

private:
    const ComRef<Session> session_;
};

class Database final : public ComBase<ITesseraDatabase> {
public:
    Database(ComRef<Session> session, std::wstring name) : session_(std::move(session)), name_(std::move(name)) {}
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_Session(ITesseraSession** session) override;
    HRESULT STDMETHODCALLTYPE GetDocument(long number, long version, ITesseraDocument** document) override;

    Session& Owner() const { return *session_.get(); }
    const std::wstring& Name() const { return name_; }

protected:
    void* Find(REFIID iid) override;

private:
    const ComRef<Session> session_;
    const std::wstring name_;
};

// What a document object answers from itself, as a client answers from what it fetched: taken
// from the store when the object is made.
struct DocumentFacts {
    long number = 0;
    long version = 0;
    long long size = -1;  // -1: the content file was missing
    std::wstring extension;
    std::wstring name;
    std::wstring description;
    std::wstring authorId;  // empty: no author
    std::wstring authorName;
    long rights = 0;
    bool rightsUnreadable = false;  // an "AccessRights" fault was taken when the object was fetched
};

class Document final : public ComBase<ITesseraDocument> {
public:
    Document(ComRef<Database> database, DocumentFacts facts)
        : database_(std::move(database)), facts_(std::move(facts)) {}

    HRESULT STDMETHODCALLTYPE get_AccessRights(long* rights) override;
    HRESULT STDMETHODCALLTYPE get_Database(ITesseraDatabase** database) override;
    HRESULT STDMETHODCALLTYPE get_CheckedOutBy(ITesseraUser** user) override;
    HRESULT STDMETHODCALLTYPE Unlock(VARIANT_BOOL* released) override;
    HRESULT STDMETHODCALLTYPE get_Number(long* number) override;
    HRESULT STDMETHODCALLTYPE get_Version(long* version) override;
    HRESULT STDMETHODCALLTYPE get_Size(long* bytes) override;
    HRESULT STDMETHODCALLTYPE get_Extension(BSTR* extension) override;
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) override;
    HRESULT STDMETHODCALLTYPE get_Author(ITesseraUser** author) override;
    HRESULT STDMETHODCALLTYPE CheckOut(BSTR path, long option, double dueDate, BSTR comment) override;
    HRESULT STDMETHODCALLTYPE CheckIn(BSTR path, long disposition, long keepCheckedOut, void* reserved,
                                      IUnknown** result) override;
    HRESULT STDMETHODCALLTYPE get_IsCheckedOut(VARIANT_BOOL* checkedOut) override;

protected:
    void* Find(REFIID iid) override;

private:
    // Runs action on this document's record inside one store transaction, after the operation's faults.
    template <typename Action>
    HRESULT WithRecord(const wchar_t* fault, Action action);

    const ComRef<Database> database_;
    const DocumentFacts facts_;
};

class User final : public ComBase<ITesseraUser> {
public:
    User(std::wstring id, std::wstring fullName) : id_(std::move(id)), fullName_(std::move(fullName)) {}
    HRESULT STDMETHODCALLTYPE get_UserId(BSTR* id) override { return GiveText(id_, id); }
    HRESULT STDMETHODCALLTYPE get_FullName(BSTR* name) override { return GiveText(fullName_, name); }

protected:
    void* Find(REFIID iid) override;

private:
    const std::wstring id_;
    const std::wstring fullName_;
};

// What a successful check-in hands back.
class CheckinResult final : public ComBase<IDispatch> {
protected:
    void* Find(REFIID iid) override;
};

class CommandContext final : public ComBase<ITesseraCommandContext> {
public:
    HRESULT STDMETHODCALLTYPE AddItem(BSTR name, VARIANT value) override;
    HRESULT STDMETHODCALLTYPE get_Item(BSTR name, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE get_Count(long* count) override;
    HRESULT STDMETHODCALLTYPE get_ItemName(long index, BSTR* name) override;

protected:
    void* Find(REFIID iid) override;

private:
    std::mutex mutex_;
    std::vector<std::pair<std::wstring, Variant>> items_;
};

class CommandBase : public ComBase<ITesseraCommand> {
public:
    explicit CommandBase(std::wstring folder) : folder_(std::move(folder)) {}
    HRESULT STDMETHODCALLTYPE Initialize(ITesseraCommandContext* context) override;
    HRESULT STDMETHODCALLTYPE Update() override;
    HRESULT STDMETHODCALLTYPE Execute() override;

protected:
    void* Find(REFIID iid) override;
    virtual const wchar_t* FaultName() const = 0;
    virtual HRESULT Run(ITesseraCommandContext* context) = 0;
    const std::wstring& Folder() const { return folder_; }

private:
    const std::wstring folder_;
    std::mutex mutex_;
    ComRef<ITesseraCommandContext> context_;
};

class OpenCommand final : public CommandBase {
public:
    using CommandBase::CommandBase;

protected:
    const wchar_t* FaultName() const override { return L"OpenExecute"; }
    HRESULT Run(ITesseraCommandContext* context) override;
};

class ImportCommand final : public CommandBase {
public:
    using CommandBase::CommandBase;

protected:
    const wchar_t* FaultName() const override { return L"ImportExecute"; }
    HRESULT Run(ITesseraCommandContext* context) override;
};

}  // namespace tessera
