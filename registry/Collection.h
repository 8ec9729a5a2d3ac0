#pragma once
// Ordered collection of Variants; items stand in insertion order and may carry a
// unique text key that is looked up without regard to case.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Variant.h"

namespace gt3 {

class Collection {
public:
    struct Entry {
        Variant item;
        std::optional<std::wstring> key;  // as given, case kept
    };

    // Appends an item. A key already present (compared without regard to case)
    // raises DuplicateKey and leaves the collection unchanged.
    void Add(Variant item);
    void Add(Variant item, std::wstring_view key);

    std::size_t Count() const noexcept { return entries_.size(); }
    bool empty() const noexcept { return entries_.empty(); }

    // Zero-based positional access; out of range raises SubscriptOutOfRange.
    const Variant& operator[](std::size_t index) const;
    const Entry& EntryAt(std::size_t index) const;

    // Lookup by key; a missing key raises InvalidProcedureCall.
    const Variant& Item(std::wstring_view key) const;
    bool Contains(std::wstring_view key) const;

    auto begin() const noexcept { return entries_.begin(); }
    auto end() const noexcept { return entries_.end(); }

private:
    std::vector<Entry> entries_;
    std::unordered_map<std::wstring, std::size_t> index_;  // folded key -> position
};

}  // namespace gt3
