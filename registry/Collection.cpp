#include "Collection.h"

#include <limits>
#include <stdexcept>
#include <utility>

#include "Errors.h"
#include "NarrowText.h"

namespace gt3 {

namespace {

[[noreturn]] void Raise(ErrorNumber number) { throw RuntimeError(number); }

// Keys are mostly ASCII (account names, value names): fold those here, inline.
inline wchar_t Fold(wchar_t c) noexcept {
    if (c < 0x80) return (c >= L'a' && c <= L'z') ? wchar_t(c - 0x20) : c;
    return FoldCase(c);
}

// FNV-1a over the folded characters, finished with a 64-bit mixer so that the low
// bits, which pick the slot, depend on every character.
std::uint32_t FoldedHash(std::wstring_view key) noexcept {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (wchar_t c : key) {
        h ^= static_cast<std::uint32_t>(Fold(c));
        h *= 0x100000001b3ull;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return static_cast<std::uint32_t>(h);
}

bool SameFolded(std::wstring_view a, std::wstring_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

}  // namespace

std::size_t Collection::FindSlot(std::wstring_view key, std::uint32_t hash) const noexcept {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.position == 0) return i;
        if (slot.hash == hash && SameFolded(*entries_[slot.position - 1].key, key)) return i;
    }
}

void Collection::Grow() {
    std::vector<Slot> grown(slots_.empty() ? 16 : slots_.size() * 2);
    const std::size_t mask = grown.size() - 1;
    for (const Slot& slot : slots_) {
        if (slot.position == 0) continue;
        std::size_t i = slot.hash & mask;
        while (grown[i].position != 0) i = (i + 1) & mask;
        grown[i] = slot;
    }
    slots_.swap(grown);
}

void Collection::Add(Variant item) { entries_.push_back(Entry{std::move(item), std::nullopt}); }

void Collection::Add(Variant item, std::wstring_view key) {
    if (!TryAdd(std::move(item), key)) Raise(ErrorNumber::DuplicateKey);
}

bool Collection::TryAdd(Variant item, std::wstring_view key) {
    const std::uint32_t hash = FoldedHash(key);
    if (!slots_.empty() && slots_[FindSlot(key, hash)].position != 0) return false;
    if (entries_.size() >= std::numeric_limits<std::uint32_t>::max() - 1) throw std::length_error("Collection full");

    // Everything that may throw comes before the first change: the entry is built,
    // the index grown (a fresh table, swapped in only when complete) and room made in
    // the vector, so the final steps cannot fail and a refused add changes nothing.
    // Growth stays geometric; reserve(size + 1) would reallocate on every add.
    Entry entry{std::move(item), std::wstring(key)};
    if ((keyed_ + 1) * 2 > slots_.size()) Grow();
    if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.empty() ? 8 : entries_.capacity() * 2);

    slots_[FindSlot(key, hash)] = Slot{hash, static_cast<std::uint32_t>(entries_.size() + 1)};
    entries_.push_back(std::move(entry));
    ++keyed_;
    return true;
}

const Variant& Collection::operator[](std::size_t index) const { return EntryAt(index).item; }

const Collection::Entry& Collection::EntryAt(std::size_t index) const {
    if (index >= entries_.size()) Raise(ErrorNumber::SubscriptOutOfRange);
    return entries_[index];
}

const Variant& Collection::Item(std::wstring_view key) const {
    if (!slots_.empty()) {
        const Slot& slot = slots_[FindSlot(key, FoldedHash(key))];
        if (slot.position != 0) return entries_[slot.position - 1].item;
    }
    Raise(ErrorNumber::InvalidProcedureCall);
}

bool Collection::Contains(std::wstring_view key) const {
    return !slots_.empty() && slots_[FindSlot(key, FoldedHash(key))].position != 0;
}

}  // namespace gt3
