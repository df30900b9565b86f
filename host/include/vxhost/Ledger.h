// Ledger.h - every object the host hands out, alive or released, and every misuse of a handle.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vxhost {

enum class ObjectKind { Path, Text, Icon, ImageStrip, Table, Server, Block };
constexpr int kObjectKinds = 7;
const char* KindName(ObjectKind kind);

// A host object behind an opaque handle. The handle is the object's address (or, for allocator
// blocks and tables, the address of the memory handed out).
struct HostObject {
    explicit HostObject(ObjectKind k) : kind(k) {}
    virtual ~HostObject() = default;
    virtual std::string Describe() const { return KindName(kind); }
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;
    const ObjectKind kind;
};

// Owns the host's objects. A released object moves to the graveyard and stays allocated until the
// ledger dies, so that its address is never reused and a second release is recognised as such
// instead of touching memory that belongs to a newer object. Allocator blocks are the exception:
// their memory is freed at once, and an address that malloc hands out again leaves the graveyard.
// Safe to call from any thread.
class ObjectLedger {
public:
    ObjectLedger() = default;
    ~ObjectLedger();
    ObjectLedger(const ObjectLedger&) = delete;
    ObjectLedger& operator=(const ObjectLedger&) = delete;

    // Takes ownership; returns the handle.
    void* Add(void* handle, std::unique_ptr<HostObject> object);
    template <class T>
    T* Add(std::unique_ptr<T> object) {
        T* raw = object.get();
        Add(raw, std::move(object));
        return raw;
    }

    // The live object of that kind, or null after recording a misuse by `user` (unknown handle,
    // released handle, or an object of another kind).
    HostObject* Use(const void* handle, ObjectKind kind, const char* user);
    template <class T>
    T* UseAs(const void* handle, ObjectKind kind, const char* user) {
        return static_cast<T*>(Use(handle, kind, user));
    }
    bool IsLive(const void* handle, ObjectKind kind) const;

    // Moves the object to the graveyard; false (and a recorded error) for an unknown or released
    // handle or a handle of another kind.
    bool Release(const void* handle, ObjectKind kind, const char* user);

    size_t Live(ObjectKind kind) const;
    size_t LiveTotal() const;
    size_t Created(ObjectKind kind) const;
    size_t Released(ObjectKind kind) const;

    // Misuses: double or unknown releases, uses of released or unknown handles.
    std::vector<std::string> Errors() const;
    void RecordError(const std::string& error);
    // One line per live object.
    std::vector<std::string> Leaks() const;
    // Leaks and errors together: empty means the ledger is clean.
    std::vector<std::string> Problems() const;
    // "paths 0 live (3 made), texts 1 live (2 made), ...".
    std::string CountsText() const;

    // Frees every live object without counting (used once the host is gone).
    void Clear();

private:
    mutable std::mutex mutex_;
    std::map<const void*, std::unique_ptr<HostObject>> live_;
    std::map<const void*, std::unique_ptr<HostObject>> graveyard_;
    size_t created_[kObjectKinds] = {};
    size_t released_[kObjectKinds] = {};
    std::vector<std::string> errors_;
};

}  // namespace vxhost
