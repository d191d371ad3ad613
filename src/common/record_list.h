// An ordered, append-only list of heap records addressed by a zero-based index. The index of a
// record is also its index in the dialog control that shows the list, which is why such
// controls never sort. The list owns its records.
#pragma once

#include "common/errors.h"

#include <memory>
#include <vector>

template <class T>
class RecordList {
public:
    // Appends a new record (texts empty, numbers zero) and returns it for filling in.
    T& Add()
    {
        items_.push_back(std::make_unique<T>());
        return *items_.back();
    }
    size_t Add(std::unique_ptr<T> record)
    {
        items_.push_back(std::move(record));
        return items_.size() - 1;
    }

    // An index outside the list is a programming fault; it ends the program with "List index
    // out of bounds (n)" instead of reading past the end.
    T& At(long long index) const
    {
        if (index < 0 || static_cast<unsigned long long>(index) >= items_.size()) throw ListIndexError(index);
        return *items_[static_cast<size_t>(index)];
    }

    size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<T>> items_;
};
