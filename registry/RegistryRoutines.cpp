// The key context and the key-level operations.
//
// Names and paths cross to the store only when they convert to the narrow
// character set without loss: a replaced character would address a different
// key than the caller named. Such an operation fails as a store failure would
// (ERROR_NO_UNICODE_TRANSLATION where a status is returned) and makes no call.

#include <cstring>
#include <string>

#include "NarrowText.h"
#include "RegistryRoutines.h"

namespace gt3 {

namespace {
// The longest key name (255 characters) in the narrow form of any code page, and
// its NUL: a double-byte page takes two bytes a character, UTF-8 (a system code
// page option since Windows 10) up to three for each UTF-16 unit, GB18030 four.
// A buffer too short for a name makes the platform answer ERROR_MORE_DATA, which
// would end the listing there and lose that key and every key after it.
constexpr std::uint32_t kKeyNameChars = kMaxKeyNameChars * 4 + 1;
}  // namespace

std::wstring RegistryRoutines::ContextPath() const { return keyRoot_ + L"\\" + subkey_; }

RegStatus RegistryRoutines::Open(RegistryStore& store, RegHandle root, const char* path, std::uint32_t access,
                                 KeyHandle& owner, RegHandle& handle) {
    RegHandle opened = 0;
    const RegStatus status = store.OpenKey(root, path, 0, access, &opened);
    if (status != status::kSuccess) return status;
    // An empty path may give back the predefined root itself; it is not ours.
    if (!IsPredefinedRoot(opened)) *owner.put() = opened;
    handle = opened;
    return status;
}

bool RegistryRoutines::OpenToList(RegistryStore& store, RegHandle root, const std::wstring& keyName,
                                  KeyHandle& owner, RegHandle& handle) {
    handle = root;
    if (keyName.empty()) return true;
    const auto path = ToNarrowExact(keyName);
    return path && Open(store, root, path->c_str(), access::kRead, owner, handle) == status::kSuccess;
}

bool RegistryRoutines::KeyExists() {
    const auto path = ToNarrowExact(ContextPath());
    if (!path) return false;
    KeyHandle owner(store_);
    RegHandle key = 0;
    return Open(store_, hkey_, path->c_str(), access::kRead, owner, key) == status::kSuccess;
}

std::wstring RegistryRoutines::CreateKey() {
    Variant name = Variant::Missing();
    return CreateKey(name);
}

std::wstring RegistryRoutines::CreateKey(Variant& KeyName) {
    std::wstring name = KeyName.IsMissing() ? subkey_ : KeyName.ToText();
    KeyName = Variant(name);
    const auto path = ToNarrowExact(keyRoot_ + L"\\" + name);
    if (!path) return std::wstring();
    KeyHandle created(store_);
    RegHandle handle = 0;
    std::uint32_t disposition = 0;
    if (store_.CreateKey(hkey_, path->c_str(), 0, "", kOptionNonVolatile, access::kAllAccess, &secAttr_, &handle,
                         &disposition) != status::kSuccess)
        return std::wstring();
    if (!IsPredefinedRoot(handle)) *created.put() = handle;
    return L"0";
}

std::int32_t RegistryRoutines::DeleteKey(const std::wstring& KeyName) {
    const auto path = ToNarrowExact(keyRoot_ + L"\\" + KeyName);
    if (!path) return status::kNoUnicodeTranslation;
    return store_.DeleteKey(hkey_, path->c_str());
}

std::int32_t RegistryRoutines::DeleteValue(const std::wstring& ValueName) {
    const auto path = ToNarrowExact(ContextPath());
    const auto name = ToNarrowExact(ValueName);
    if (!path || !name) return status::kNoUnicodeTranslation;
    // Deleting a value needs only KEY_SET_VALUE; asking for more would refuse
    // users who may change the value but not the key.
    KeyHandle owner(store_);
    RegHandle key = 0;
    if (const RegStatus opened = Open(store_, hkey_, path->c_str(), access::kSetValue, owner, key);
        opened != status::kSuccess)
        return opened;
    return store_.DeleteValue(key, name->c_str());
}

Collection RegistryRoutines::EnumRegistryKeys(std::int32_t hkey, std::wstring KeyName) {
    Collection names;
    KeyHandle owner(store_);
    RegHandle key = 0;
    if (!OpenToList(store_, hkey, KeyName, owner, key)) return names;
    char name[kKeyNameChars];
    std::memset(name, ' ', sizeof name);
    FileTime lastWrite;
    std::wstring itemKey;
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t nameChars = kKeyNameChars;
        // No class buffer: a sub-key whose class name would not fit in one makes
        // the platform answer ERROR_MORE_DATA, which would end the listing there
        // and lose that key and every key after it. The class is not wanted.
        if (store_.EnumKey(key, index, name, &nameChars, nullptr, nullptr, &lastWrite) != status::kSuccess)
            break;
        // The reported length, kept inside the buffer, and never past a NUL.
        std::string_view text(name, nameChars < kKeyNameChars ? nameChars : kKeyNameChars);
        text = text.substr(0, text.find('\0'));
        std::wstring wide = FromNarrow(text);
        itemKey.assign(wide);  // reuses its room: no allocation per name for the key
        // Two keys can come back under one name when the code page lacks a
        // character of one of them and the platform replaced it. That name
        // addresses one key only; listing it once keeps the caller from an error
        // it could do nothing about.
        names.TryAdd(Variant(std::move(wide)), itemKey);
    }
    return names;
}

std::wstring RegistryRoutines::TrimNull(std::wstring& item) {
    if (const auto nul = item.find(L'\0'); nul != std::wstring::npos) item.resize(nul);
    return item;
}

}  // namespace gt3
