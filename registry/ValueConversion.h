#pragma once
// Conversions between registry data (type code + the bytes the store reported)
// and Variants. Written once: the single-value read and write, local and remote,
// share them; the value enumeration has its own display table.
// Every function looks only at the bytes it is handed: callers pass exactly the
// bytes the store reported as filled, never the whole buffer.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "RegistryStore.h"
#include "Variant.h"

namespace gt3::conversion {

// The result of a single-value read, or nullopt where the caller's default stands
// (no data for the type, or a type that is not converted: REG_EXPAND_SZ and every
// code other than 1, 3, 4, 7).
std::optional<Variant> ValueFromData(std::uint32_t type, std::span<const std::uint8_t> data);

// The bytes a write of Value as type dtype hands to the store, or nullopt when the
// type has no conversion (nothing is written). Raises the Variant's conversion
// errors, and SubscriptOutOfRange for REG_BINARY data without elements.
std::optional<std::vector<std::uint8_t>> DataFromValue(const Variant& value, std::int32_t dtype);

// The display form of one enumerated value: text for strings and raw bytes, a Long
// for REG_DWORD, Empty for other types. REG_EXPAND_SZ is expanded through the store.
Variant DisplayFromData(RegistryStore& store, std::uint32_t type, std::span<const std::uint8_t> data);

}  // namespace gt3::conversion
