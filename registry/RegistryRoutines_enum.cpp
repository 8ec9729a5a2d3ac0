// Every value of one key, as {name, display data} items keyed by name.

#include <vector>

#include "NarrowText.h"
#include "RegistryRoutines.h"
#include "ValueConversion.h"

namespace gt3 {

namespace {
constexpr std::uint32_t kNameChars = 260;
constexpr std::uint32_t kLongestNameChars = 16384;  // the registry's 16,383-character value names and their NUL
constexpr std::uint32_t kDataBytes = 4096;
}  // namespace

// Each index is asked for once with a 260-character name buffer and a 4096-byte
// data buffer, and at most once more after ERROR_MORE_DATA. That status does not
// say which buffer was short; the reported data size does. The retry gets a data
// buffer of exactly the reported size when the data was too big, and always the
// longest name the registry allows, so that a long name is listed rather than
// ending the listing (it may be long and come with big data at once).
// The unnamed value is keyed by the empty text, the name handed over unchanged.
Collection RegistryRoutines::EnumRegistryValues(std::int32_t hkey, std::wstring KeyName) {
    Collection values;
    KeyHandle owner(store_);
    RegHandle key = 0;
    if (!OpenToList(store_, hkey, KeyName, owner, key)) return values;

    // First calls use buffers on the stack; the heap is used only for retries.
    char shortName[kNameChars];
    std::uint8_t data[kDataBytes];
    std::vector<char> longName;
    std::vector<std::uint8_t> larger;
    for (std::uint32_t index = 0;; ++index) {
        char* name = shortName;
        std::uint32_t nameCapacity = kNameChars;
        std::uint32_t nameChars = nameCapacity;
        std::uint32_t type = regtype::kNone;
        std::uint8_t* buffer = data;
        std::uint32_t bufferBytes = kDataBytes;
        std::uint32_t size = bufferBytes;
        RegStatus status = store_.EnumValue(key, index, name, &nameChars, &type, buffer, &size);
        if (status == status::kMoreData) {
            if (size > bufferBytes) {
                larger.assign(size, 0);
                buffer = larger.data();
                bufferBytes = size;
            }
            longName.resize(kLongestNameChars);
            name = longName.data();
            nameCapacity = kLongestNameChars;
            nameChars = nameCapacity;
            size = bufferBytes;
            status = store_.EnumValue(key, index, name, &nameChars, &type, buffer, &size);
        }
        if (status != status::kSuccess) break;

        const std::uint32_t nameLength = nameChars < nameCapacity ? nameChars : nameCapacity;
        const std::uint32_t filled = size < bufferBytes ? size : bufferBytes;
        VariantArray item;
        item.reserve(2);
        item.emplace_back(FromNarrow(std::string_view(name, nameLength)));
        item.emplace_back(conversion::DisplayFromData(store_, type, std::span<const std::uint8_t>(buffer, filled)));
        // The key is read from the item's own name: moving a vector keeps its
        // elements where they are, so the reference stays good through TryAdd and
        // the name is not copied once more just to key it.
        const std::wstring& itemKey = item.front().AsString();
        // A name the code page merged with another's is listed once, as the
        // key enumeration does.
        values.TryAdd(Variant(std::move(item)), itemKey);
    }
    return values;
}

}  // namespace gt3
