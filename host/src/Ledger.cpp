#include "vxhost/Ledger.h"

#include <cstdio>

namespace vxhost {

const char* KindName(ObjectKind kind) {
    switch (kind) {
    case ObjectKind::Path: return "path";
    case ObjectKind::Text: return "text";
    case ObjectKind::Icon: return "icon";
    case ObjectKind::ImageStrip: return "image strip";
    case ObjectKind::Table: return "table";
    case ObjectKind::Server: return "HFT server";
    case ObjectKind::Block: return "block";
    }
    return "object";
}

namespace {
std::string HandleText(const void* handle) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%p", handle);
    return buffer;
}
}  // namespace

ObjectLedger::~ObjectLedger() { Clear(); }

void* ObjectLedger::Add(void* handle, std::unique_ptr<HostObject> object) {
    std::lock_guard<std::mutex> lock(mutex_);
    graveyard_.erase(handle);
    created_[static_cast<int>(object->kind)]++;
    live_[handle] = std::move(object);
    return handle;
}

HostObject* ObjectLedger::Use(const void* handle, ObjectKind kind, const char* user) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = live_.find(handle);
    if (it != live_.end() && it->second->kind == kind) return it->second.get();
    std::string what;
    if (it != live_.end())
        what = std::string("a ") + KindName(it->second->kind) + " used as a " + KindName(kind);
    else if (graveyard_.count(handle))
        what = std::string("released ") + KindName(kind);
    else
        what = std::string("unknown ") + KindName(kind);
    errors_.push_back(what + " " + HandleText(handle) + " given to " + user);
    return nullptr;
}

bool ObjectLedger::IsLive(const void* handle, ObjectKind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = live_.find(handle);
    return it != live_.end() && it->second->kind == kind;
}

bool ObjectLedger::Release(const void* handle, ObjectKind kind, const char* user) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = live_.find(handle);
    if (it == live_.end() || it->second->kind != kind) {
        std::string what;
        if (it != live_.end())
            what = std::string("release of a ") + KindName(it->second->kind) + " as a " + KindName(kind);
        else if (graveyard_.count(handle))
            what = std::string("double release of ") + KindName(kind);
        else
            what = std::string("release of unknown ") + KindName(kind);
        errors_.push_back(what + " " + HandleText(handle) + " by " + user);
        return false;
    }
    released_[static_cast<int>(kind)]++;
    graveyard_[handle] = std::move(it->second);
    live_.erase(it);
    return true;
}

size_t ObjectLedger::Live(ObjectKind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (auto& entry : live_)
        if (entry.second->kind == kind) n++;
    return n;
}

size_t ObjectLedger::LiveTotal() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return live_.size();
}

size_t ObjectLedger::Created(ObjectKind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return created_[static_cast<int>(kind)];
}

size_t ObjectLedger::Released(ObjectKind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return released_[static_cast<int>(kind)];
}

std::vector<std::string> ObjectLedger::Errors() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
}

void ObjectLedger::RecordError(const std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    errors_.push_back(error);
}

std::vector<std::string> ObjectLedger::Leaks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> leaks;
    for (auto& entry : live_) leaks.push_back("leaked " + entry.second->Describe() + " " + HandleText(entry.first));
    return leaks;
}

std::vector<std::string> ObjectLedger::Problems() const {
    std::vector<std::string> problems = Leaks();
    for (auto& error : Errors()) problems.push_back(error);
    return problems;
}

std::string ObjectLedger::CountsText() const {
    std::string text;
    for (int k = 0; k < kObjectKinds; k++) {
        auto kind = static_cast<ObjectKind>(k);
        if (!text.empty()) text += ", ";
        text += std::string(KindName(kind)) + "s " + std::to_string(Live(kind)) + " live (" +
                std::to_string(Created(kind)) + " made)";
    }
    return text;
}

void ObjectLedger::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    live_.clear();
    graveyard_.clear();
}

}  // namespace vxhost
