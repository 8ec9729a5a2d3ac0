// One value in another machine's registry: connect, open, read or write, then
// close the key and the connection, in that order.

#include "NarrowText.h"
#include "RegistryRoutines.h"

namespace gt3 {

namespace {

// What a read returns when the machine's registry cannot be reached.
constexpr wchar_t kConnectFailed[] = L"Error!";

// The remote root; owned by `owner` unless the store hands back a predefined root.
RegStatus Connect(RegistryStore& store, const std::string& machine, RegHandle root, KeyHandle& owner,
                  RegHandle& handle) {
    RegHandle connected = 0;
    // The name goes to the platform as the caller gave it, the empty one included.
    const RegStatus status = store.ConnectRegistry(machine.c_str(), root, &connected);
    if (status != status::kSuccess) return status;
    if (!IsPredefinedRoot(connected)) *owner.put() = connected;
    handle = connected;
    return status;
}

}  // namespace

// The key is opened for reading only: a user allowed to read the value is not
// refused for lacking rights the read never uses.
Variant RegistryRoutines::ReadRemoteRegistryValue(std::wstring sRemoteComputer, std::int32_t hkey,
                                                  std::wstring ValueName, std::optional<std::wstring> KeyPath) {
    const auto machine = ToNarrowExact(sRemoteComputer);
    if (!machine) return Variant(kConnectFailed);
    const auto path = ToNarrowExact(KeyPath ? *KeyPath : ContextPath());
    const auto name = ToNarrowExact(ValueName);
    if (!path || !name) return Variant();

    KeyHandle connection(store_);  // declared first, so closed after the key
    RegHandle remoteRoot = 0;
    if (Connect(store_, *machine, hkey, connection, remoteRoot) != status::kSuccess) return Variant(kConnectFailed);
    KeyHandle owner(store_);
    RegHandle key = 0;
    if (Open(store_, remoteRoot, path->c_str(), access::kRead, owner, key) != status::kSuccess) return Variant();
    return ReadValue(store_, key, name->c_str()).value_or(Variant());
}

// Opened for writing only, for the same reason. True only when the store took the
// write; a type code without a conversion writes nothing and reports false.
bool RegistryRoutines::WriteRemoteRegistryValue(std::wstring sRemoteComputer, std::int32_t hkey,
                                                std::wstring ValueName, const Variant& Value, std::int32_t DType,
                                                std::optional<std::wstring> KeyPath) {
    const auto machine = ToNarrowExact(sRemoteComputer);
    const auto path = ToNarrowExact(KeyPath ? *KeyPath : ContextPath());
    const auto name = ToNarrowExact(ValueName);
    if (!machine || !path || !name) return false;

    KeyHandle connection(store_);
    RegHandle remoteRoot = 0;
    if (Connect(store_, *machine, hkey, connection, remoteRoot) != status::kSuccess) return false;
    KeyHandle owner(store_);
    RegHandle key = 0;
    if (Open(store_, remoteRoot, path->c_str(), access::kWrite, owner, key) != status::kSuccess) return false;
    const auto written = WriteValue(store_, key, name->c_str(), Value, DType);
    return written && *written == status::kSuccess;
}

}  // namespace gt3
