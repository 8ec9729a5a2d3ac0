#pragma once
// Ordered collection of Variants; items stand in insertion order and may carry a
// unique text key that is looked up without regard to case.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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
    // The same, except that a key already present is no error: nothing is added
    // and the result is false.
    bool TryAdd(Variant item, std::wstring_view key);

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
    // Key index: open addressing over a power-of-two table kept at most half full.
    // A slot holds the key's folded hash and the entry's position + 1 (0: free), so
    // probing and growing never touch the entries, and neither adding nor looking up
    // allocates a folded copy of the key. Keys compare by folding character by
    // character. This keeps per-item cost flat at 100,000 keyed items, where a node
    // per key plus a folded string per key spent most of the time in cache misses.
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t position = 0;
    };
    std::size_t FindSlot(std::wstring_view key, std::uint32_t hash) const noexcept;
    void Grow();

    std::vector<Entry> entries_;
    std::vector<Slot> slots_;
    std::size_t keyed_ = 0;  // slots in use
};

}  // namespace gt3
