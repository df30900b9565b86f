// CAPArray.h - the support library's ordered array of untyped pointers.
#pragma once

#include <vector>

class CAPArray {
public:
    CAPArray() = default;
    virtual ~CAPArray() = default;
    CAPArray(const CAPArray&) = delete;
    CAPArray& operator=(const CAPArray&) = delete;

    void Append(void* item) { items_.push_back(item); }
    int GetCount() const { return static_cast<int>(items_.size()); }
    // Null outside the range.
    void* GetAt(int index) const {
        return index >= 0 && index < GetCount() ? items_[static_cast<size_t>(index)] : nullptr;
    }
    // Later entries move down by one; an index outside the range does nothing.
    void RemoveAt(int index) {
        if (index >= 0 && index < GetCount()) items_.erase(items_.begin() + index);
    }
    void RemoveAll() { items_.clear(); }

private:
    std::vector<void*> items_;
};
