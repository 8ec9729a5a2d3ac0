#pragma once
// A store that hands every call to another store. Tests derive from it to watch
// or break the few calls they care about and leave the rest as they are.

#include <utility>

#include "registry/RegistryStore.h"

namespace gt3::test {

class ForwardingStore : public RegistryStore {
public:
    explicit ForwardingStore(RegistryStore& inner) : inner_(inner) {}

    RegStatus OpenKey(RegHandle key, const char* subKey, std::uint32_t options, std::uint32_t access,
                      RegHandle* result) override {
        return inner_.OpenKey(key, subKey, options, access, result);
    }
    RegStatus CreateKey(RegHandle key, const char* subKey, std::uint32_t reserved, const char* className,
                        std::uint32_t options, std::uint32_t access, const SecurityAttributes* security,
                        RegHandle* result, std::uint32_t* disposition) override {
        return inner_.CreateKey(key, subKey, reserved, className, options, access, security, result, disposition);
    }
    RegStatus CloseKey(RegHandle key) override { return inner_.CloseKey(key); }
    RegStatus DeleteKey(RegHandle key, const char* subKey) override { return inner_.DeleteKey(key, subKey); }
    RegStatus DeleteValue(RegHandle key, const char* valueName) override { return inner_.DeleteValue(key, valueName); }
    RegStatus EnumKey(RegHandle key, std::uint32_t index, char* name, std::uint32_t* nameChars, char* className,
                      std::uint32_t* classChars, FileTime* lastWriteTime) override {
        return inner_.EnumKey(key, index, name, nameChars, className, classChars, lastWriteTime);
    }
    RegStatus EnumValue(RegHandle key, std::uint32_t index, char* name, std::uint32_t* nameChars,
                        std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override {
        return inner_.EnumValue(key, index, name, nameChars, type, data, dataSize);
    }
    RegStatus QueryValue(RegHandle key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* dataSize) override {
        return inner_.QueryValue(key, valueName, type, data, dataSize);
    }
    RegStatus SetValue(RegHandle key, const char* valueName, std::uint32_t reserved, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t dataSize) override {
        return inner_.SetValue(key, valueName, reserved, type, data, dataSize);
    }
    RegStatus ConnectRegistry(const char* machineName, RegHandle key, RegHandle* result) override {
        return inner_.ConnectRegistry(machineName, key, result);
    }
    std::uint32_t ExpandEnvironmentStrings(const char* source, char* destination, std::uint32_t capacity) override {
        return inner_.ExpandEnvironmentStrings(source, destination, capacity);
    }
    std::unique_ptr<KeyWatch> WatchKey(RegHandle key, const char* path, std::function<void()> changed) override {
        return inner_.WatchKey(key, path, std::move(changed));
    }

protected:
    RegistryStore& inner_;
};

// The inner store without its watch: for a test that changes the registry under a
// window to check something other than the window following it.
class UnwatchedStore : public ForwardingStore {
public:
    using ForwardingStore::ForwardingStore;
    std::unique_ptr<KeyWatch> WatchKey(RegHandle, const char*, std::function<void()>) override { return nullptr; }
};

}  // namespace gt3::test
