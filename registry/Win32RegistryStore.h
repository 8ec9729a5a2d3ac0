#pragma once
// The platform registry: advapi32's narrow-character calls. Handles cross the
// store interface as 32-bit values, the size of an HKEY in the program, which is
// built for 32 bits only. The 64-bit test build (for kernels that run no 32-bit
// code) rebuilds an HKEY by sign extension, which keeps the predefined roots
// (0x80000002 -> 0xFFFFFFFF80000002) what the platform expects; the handles Wine
// opens there fit in 32 bits. Windows build only.

#include "RegistryStore.h"

namespace gt3 {

class Win32RegistryStore final : public RegistryStore {
public:
    RegStatus OpenKey(RegHandle key, const char* subKey, std::uint32_t options, std::uint32_t access,
                      RegHandle* result) override;
    RegStatus CreateKey(RegHandle key, const char* subKey, std::uint32_t reserved, const char* className,
                        std::uint32_t options, std::uint32_t access, const SecurityAttributes* security,
                        RegHandle* result, std::uint32_t* disposition) override;
    RegStatus CloseKey(RegHandle key) override;
    RegStatus DeleteKey(RegHandle key, const char* subKey) override;
    RegStatus DeleteValue(RegHandle key, const char* valueName) override;
    RegStatus EnumKey(RegHandle key, std::uint32_t index, char* name, std::uint32_t* nameChars, char* className,
                      std::uint32_t* classChars, FileTime* lastWriteTime) override;
    RegStatus EnumValue(RegHandle key, std::uint32_t index, char* name, std::uint32_t* nameChars,
                        std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override;
    RegStatus QueryValue(RegHandle key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* dataSize) override;
    RegStatus SetValue(RegHandle key, const char* valueName, std::uint32_t reserved, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t dataSize) override;
    RegStatus ConnectRegistry(const char* machineName, RegHandle key, RegHandle* result) override;
    std::uint32_t ExpandEnvironmentStrings(const char* source, char* destination, std::uint32_t capacity) override;
    // RegNotifyChangeKeyValue on the key (its subtree, names and values) and on
    // each level above it (names: only a parent hears of a key made or deleted,
    // and which level hears a rename is not documented). Each watch is armed, and
    // armed again, on the thread that made the watch and calls Signalled: a
    // notification ends with the thread that asked for it.
    std::unique_ptr<KeyWatch> WatchKey(RegHandle key, const char* path, std::function<void()> changed) override;
};

// The platform store's watch, with its keys opened through `opener`: the
// platform store itself, or a test's store that refuses what a test needs refused.
std::unique_ptr<KeyWatch> WatchPlatformKey(RegistryStore& opener, RegHandle key, const char* path,
                                           std::function<void()> changed);

// The one platform store of the process.
RegistryStore& PlatformRegistryStore();

}  // namespace gt3
