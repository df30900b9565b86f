// The host's objects behind the handles it hands to plug-ins.
#pragma once

#include <string>
#include <vector>

#include "vxhost/Host.h"

namespace vxhost {

struct PathObject : HostObject {
    explicit PathObject(std::wstring p) : HostObject(ObjectKind::Path), path(std::move(p)) {}
    std::string Describe() const override { return "path " + ToUtf8(path); }
    std::wstring path;
};

struct TextObject : HostObject {
    explicit TextObject(std::wstring v) : HostObject(ObjectKind::Text), value(std::move(v)) {}
    std::string Describe() const override { return "text \"" + ToUtf8(value) + "\""; }
    std::wstring value;
};

// What the host keeps of a loaded PNG resource: its origin and size, not the bytes.
struct ImageObject : HostObject {
    ImageObject(ObjectKind k, ASInt32 id, size_t size, Extension* ext)
        : HostObject(k), resourceId(id), bytes(size), owner(ext) {}
    std::string Describe() const override {
        return std::string(KindName(kind)) + " PNG " + std::to_string(resourceId) + " of " +
               (owner ? owner->DisplayName() : std::string("?"));
    }
    ASInt32 resourceId;
    size_t bytes;
    Extension* owner;
};

struct ServerObject : HostObject {
    ServerObject(std::string n, HFTServerProvideProc p, HFTServerDestroyProc d, void* cd)
        : HostObject(ObjectKind::Server), name(std::move(n)), provider(p), destroy(d), clientData(cd) {}
    std::string Describe() const override { return "HFT server \"" + name + "\""; }
    std::string name;
    HFTServerProvideProc provider;
    HFTServerDestroyProc destroy;
    void* clientData;
    bool destroying = false;
};

// The handle of a table is the address of its first slot.
struct TableObject : HostObject {
    TableObject(HFTServer s, const std::string& n, ASUns32 count)
        : HostObject(ObjectKind::Table), server(s), serverName(n), slots(count ? count : 1, nullptr) {}
    std::string Describe() const override {
        return "table of " + std::to_string(slots.size()) + " entries of server \"" + serverName + "\"";
    }
    HFTServer server;
    std::string serverName;
    std::vector<void*> slots;
};

// The memory itself comes from malloc and is freed on release; this records its size.
struct BlockObject : HostObject {
    explicit BlockObject(size_t s) : HostObject(ObjectKind::Block), size(s) {}
    std::string Describe() const override { return "block of " + std::to_string(size) + " bytes"; }
    size_t size;
};

template <class F>
void Host::Guarded(const char* what, F&& call) {
    try {
        call();
    } catch (CVxException* e) {
        Record(std::string("escaped-host-error:") + what + " " + std::to_string(e->errorCode));
    } catch (...) {
        Record(std::string("escaped-exception:") + what);
    }
}

}  // namespace vxhost
