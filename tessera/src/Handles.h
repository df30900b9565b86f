// Owning wrappers for the handles the stand-in opens. Move-only: a copy could close a handle twice.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace tessera {

template <typename Traits>
class Unique {
public:
    using Value = typename Traits::Value;

    Unique() = default;
    explicit Unique(Value value) : value_(value) {}
    ~Unique() { reset(); }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& other) noexcept : value_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Value get() const { return value_; }
    Value* put() {
        reset();
        return &value_;
    }
    Value release() { return std::exchange(value_, Traits::invalid()); }
    void reset(Value value = Traits::invalid()) {
        if (Traits::valid(value_)) Traits::close(value_);
        value_ = value;
    }
    explicit operator bool() const { return Traits::valid(value_); }

private:
    Value value_ = Traits::invalid();
};

struct HandleTraits {
    using Value = HANDLE;
    static Value invalid() { return nullptr; }
    static bool valid(Value v) { return v != nullptr && v != INVALID_HANDLE_VALUE; }
    static void close(Value v) { CloseHandle(v); }
};
struct RegKeyTraits {
    using Value = HKEY;
    static Value invalid() { return nullptr; }
    static bool valid(Value v) { return v != nullptr; }
    static void close(Value v) { RegCloseKey(v); }
};
struct BstrTraits {
    using Value = BSTR;
    static Value invalid() { return nullptr; }
    static bool valid(Value v) { return v != nullptr; }
    static void close(Value v) { SysFreeString(v); }
};
struct SafeArrayTraits {
    using Value = SAFEARRAY*;
    static Value invalid() { return nullptr; }
    static bool valid(Value v) { return v != nullptr; }
    static void close(Value v) { SafeArrayDestroy(v); }
};
struct ModuleTraits {
    using Value = HMODULE;
    static Value invalid() { return nullptr; }
    static bool valid(Value v) { return v != nullptr; }
    static void close(Value v) { FreeLibrary(v); }
};

struct FindTraits {
    using Value = HANDLE;
    static Value invalid() { return INVALID_HANDLE_VALUE; }
    static bool valid(Value v) { return v != INVALID_HANDLE_VALUE && v != nullptr; }
    static void close(Value v) { FindClose(v); }
};

using UniqueHandle = Unique<HandleTraits>;
using UniqueFind = Unique<FindTraits>;
using UniqueKey = Unique<RegKeyTraits>;
using UniqueBstr = Unique<BstrTraits>;
using UniqueSafeArray = Unique<SafeArrayTraits>;
using UniqueModule = Unique<ModuleTraits>;

// A counted reference: holds one reference and releases it once.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ComRef(std::nullptr_t) {}
    ~ComRef() { reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& other) noexcept : ptr_(other.release()) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) {
            reset();
            ptr_ = other.release();
        }
        return *this;
    }

    // Takes over a reference the caller already owns.
    static ComRef Attach(T* ptr) {
        ComRef ref;
        ref.ptr_ = ptr;
        return ref;
    }
    // Adds a reference of its own.
    static ComRef Retain(T* ptr) {
        if (ptr) ptr->AddRef();
        return Attach(ptr);
    }

    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    T** put() {
        reset();
        return &ptr_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    T* release() { return std::exchange(ptr_, nullptr); }
    void reset() {
        if (ptr_) std::exchange(ptr_, nullptr)->Release();
    }
    explicit operator bool() const { return ptr_ != nullptr; }

    template <typename U>
    ComRef<U> As() const {
        ComRef<U> other;
        if (ptr_) ptr_->QueryInterface(__uuidof(U), other.put_void());
        return other;
    }

private:
    T* ptr_ = nullptr;
};

class Variant {
public:
    Variant() { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
    Variant& operator=(Variant&& other) noexcept {
        if (this != &other) {
            VariantClear(&value_);
            value_ = other.value_;
            VariantInit(&other.value_);
        }
        return *this;
    }

    VARIANT* get() { return &value_; }
    const VARIANT* get() const { return &value_; }
    VARIANT* put() {
        VariantClear(&value_);
        return &value_;
    }
    VARIANT release() {
        VARIANT out = value_;
        VariantInit(&value_);
        return out;
    }

private:
    VARIANT value_;
};

}  // namespace tessera
