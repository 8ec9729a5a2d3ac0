// Single typed values of the context key, and the read/write protocol that the
// remote operations share.

#include <vector>

#include "NarrowText.h"
#include "RegistryRoutines.h"
#include "ValueConversion.h"

namespace gt3 {

namespace {
constexpr std::uint32_t kFirstQueryBytes = 1024;
}  // namespace

// One query with a 1024-byte buffer, and at most one more with a buffer of exactly
// the size the store asked for. Only a successful query is converted, and only
// over the bytes the store reported, kept inside the buffer: when the value grew
// again between the two queries the buffer holds part of it, so the default
// stands rather than a truncated value.
std::optional<Variant> RegistryRoutines::ReadValue(RegistryStore& store, RegHandle key, const char* valueName) {
    std::vector<std::uint8_t> buffer(kFirstQueryBytes, 0);
    std::uint32_t type = regtype::kNone;
    auto size = static_cast<std::uint32_t>(buffer.size());
    RegStatus status = store.QueryValue(key, valueName, &type, buffer.data(), &size);
    if (status == status::kMoreData) {
        buffer.assign(size, 0);
        status = store.QueryValue(key, valueName, &type, buffer.data(), &size);
    }
    if (status != status::kSuccess) return std::nullopt;
    const std::size_t filled = size < buffer.size() ? size : buffer.size();
    return conversion::ValueFromData(type, std::span<const std::uint8_t>(buffer.data(), filled));
}

std::optional<RegStatus> RegistryRoutines::WriteValue(RegistryStore& store, RegHandle key, const char* valueName,
                                                      const Variant& Value, std::int32_t DType) {
    const auto data = conversion::DataFromValue(Value, DType);
    if (!data) return std::nullopt;
    return store.SetValue(key, valueName, 0, static_cast<std::uint32_t>(DType), data->data(),
                          static_cast<std::uint32_t>(data->size()));
}

Variant RegistryRoutines::GetRegistryValue(std::wstring ValueName, const Variant& DefaultValue) {
    Variant result = DefaultValue.IsMissing() ? Variant() : DefaultValue;
    const auto path = ToNarrowExact(ContextPath());
    const auto name = ToNarrowExact(ValueName);
    if (!path || !name) return result;
    KeyHandle owner(store_);
    RegHandle key = 0;
    if (Open(store_, hkey_, path->c_str(), access::kRead, owner, key) != status::kSuccess) return result;
    if (auto value = ReadValue(store_, key, name->c_str())) result = std::move(*value);
    return result;
}

// True only when the store took the write: a type code without a conversion
// writes nothing and so reports false, as does a key that cannot be opened.
bool RegistryRoutines::SetRegistryValue(std::wstring ValueName, const Variant& Value, std::int32_t DType) {
    const auto path = ToNarrowExact(ContextPath());
    const auto name = ToNarrowExact(ValueName);
    if (!path || !name) return false;
    KeyHandle owner(store_);
    RegHandle key = 0;
    if (Open(store_, hkey_, path->c_str(), access::kWrite, owner, key) != status::kSuccess) return false;
    const auto written = WriteValue(store_, key, name->c_str(), Value, DType);
    return written && *written == status::kSuccess;
}

}  // namespace gt3
