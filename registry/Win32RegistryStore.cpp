#include "Win32RegistryStore.h"

#include <windows.h>
#undef ExpandEnvironmentStrings  // the store's member, not windows.h's A/W mapping

#include <cstdint>

namespace gt3 {

namespace {

HKEY ToHkey(RegHandle key) noexcept { return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(key)); }

RegHandle FromHkey(HKEY key) noexcept { return static_cast<RegHandle>(reinterpret_cast<std::intptr_t>(key)); }

// DWORD is `unsigned long` here and std::uint32_t `unsigned int`: same size,
// different types, so in-out counts travel through a local DWORD. Whatever the
// platform leaves in it, written or not, goes back to the caller.
class InOut {
public:
    explicit InOut(std::uint32_t* target) noexcept : target_(target), value_(target ? *target : 0) {}
    ~InOut() {
        if (target_) *target_ = static_cast<std::uint32_t>(value_);
    }
    InOut(const InOut&) = delete;
    InOut& operator=(const InOut&) = delete;
    DWORD* get() noexcept { return target_ ? &value_ : nullptr; }

private:
    std::uint32_t* target_;
    DWORD value_;
};

// Runs the call, then hands back a handle only when the platform wrote one.
template <typename F>
RegStatus WithHandleOut(RegHandle* result, F&& call) {
    if (!result) return static_cast<RegStatus>(call(nullptr));
    HKEY opened = ToHkey(*result);
    const auto status = static_cast<RegStatus>(call(&opened));
    *result = FromHkey(opened);
    return status;
}

}  // namespace

RegStatus Win32RegistryStore::OpenKey(RegHandle key, const char* subKey, std::uint32_t options, std::uint32_t access,
                                      RegHandle* result) {
    return WithHandleOut(result, [&](HKEY* out) { return RegOpenKeyExA(ToHkey(key), subKey, options, access, out); });
}

RegStatus Win32RegistryStore::CreateKey(RegHandle key, const char* subKey, std::uint32_t reserved,
                                        const char* className, std::uint32_t options, std::uint32_t access,
                                        const SecurityAttributes* security, RegHandle* result,
                                        std::uint32_t* disposition) {
    SECURITY_ATTRIBUTES attributes{};
    if (security) {
        attributes.nLength = security->length;
        attributes.lpSecurityDescriptor = security->securityDescriptor;
        attributes.bInheritHandle = security->inheritHandle;
    }
    InOut dispositionOut(disposition);
    return WithHandleOut(result, [&](HKEY* out) {
        return RegCreateKeyExA(ToHkey(key), subKey, reserved, const_cast<char*>(className), options, access,
                               security ? &attributes : nullptr, out, dispositionOut.get());
    });
}

RegStatus Win32RegistryStore::CloseKey(RegHandle key) { return static_cast<RegStatus>(RegCloseKey(ToHkey(key))); }

RegStatus Win32RegistryStore::DeleteKey(RegHandle key, const char* subKey) {
    return static_cast<RegStatus>(RegDeleteKeyA(ToHkey(key), subKey));
}

RegStatus Win32RegistryStore::DeleteValue(RegHandle key, const char* valueName) {
    return static_cast<RegStatus>(RegDeleteValueA(ToHkey(key), valueName));
}

RegStatus Win32RegistryStore::EnumKey(RegHandle key, std::uint32_t index, char* name, std::uint32_t* nameChars,
                                      char* className, std::uint32_t* classChars, FileTime* lastWriteTime) {
    InOut nameOut(nameChars), classOut(classChars);
    FILETIME written{};
    if (lastWriteTime) written = {lastWriteTime->low, lastWriteTime->high};
    const auto status = static_cast<RegStatus>(RegEnumKeyExA(ToHkey(key), index, name, nameOut.get(), nullptr,
                                                             className, classOut.get(),
                                                             lastWriteTime ? &written : nullptr));
    if (lastWriteTime) *lastWriteTime = {written.dwLowDateTime, written.dwHighDateTime};
    return status;
}

RegStatus Win32RegistryStore::EnumValue(RegHandle key, std::uint32_t index, char* name, std::uint32_t* nameChars,
                                        std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
    InOut nameOut(nameChars), typeOut(type), sizeOut(dataSize);
    return static_cast<RegStatus>(
        RegEnumValueA(ToHkey(key), index, name, nameOut.get(), nullptr, typeOut.get(), data, sizeOut.get()));
}

RegStatus Win32RegistryStore::QueryValue(RegHandle key, const char* valueName, std::uint32_t* type,
                                         std::uint8_t* data, std::uint32_t* dataSize) {
    InOut typeOut(type), sizeOut(dataSize);
    return static_cast<RegStatus>(
        RegQueryValueExA(ToHkey(key), valueName, nullptr, typeOut.get(), data, sizeOut.get()));
}

RegStatus Win32RegistryStore::SetValue(RegHandle key, const char* valueName, std::uint32_t reserved,
                                       std::uint32_t type, const std::uint8_t* data, std::uint32_t dataSize) {
    return static_cast<RegStatus>(RegSetValueExA(ToHkey(key), valueName, reserved, type, data, dataSize));
}

RegStatus Win32RegistryStore::ConnectRegistry(const char* machineName, RegHandle key, RegHandle* result) {
    return WithHandleOut(result, [&](HKEY* out) { return RegConnectRegistryA(machineName, ToHkey(key), out); });
}

std::uint32_t Win32RegistryStore::ExpandEnvironmentStrings(const char* source, char* destination,
                                                           std::uint32_t capacity) {
    return static_cast<std::uint32_t>(ExpandEnvironmentStringsA(source, destination, capacity));
}

RegistryStore& PlatformRegistryStore() {
    static Win32RegistryStore store;
    return store;
}

}  // namespace gt3
