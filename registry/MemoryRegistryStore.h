#pragma once
// A registry held in memory with the platform registry's semantics, for the
// portable build and for tests: a tree of keys whose names compare without regard
// to case (and keep the case they were created with), sub-keys enumerated in
// case-insensitive sorted order, values in insertion order with type and raw
// bytes, an access mask per open handle, predefined roots, reachable machines for
// ConnectRegistry, an environment for ExpandEnvironmentStrings, a count of open
// handles, and fault injection for tests. A watch reports a change as it is made,
// on the thread that makes it, the direct access below included.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RegistryStore.h"

#ifdef SetEnvironmentVariable  // windows.h's A/W mapping
#undef SetEnvironmentVariable
#endif

namespace gt3 {

class MemoryRegistryStore final : public RegistryStore {
public:
    // The store calls, for counting and for fault injection.
    enum class Call { Open, Create, Close, DeleteKey, DeleteValue, EnumKey, EnumValue, Query, Set, Connect, Expand };

    struct StoredValue {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
    };

    MemoryRegistryStore();
    ~MemoryRegistryStore() override;
    MemoryRegistryStore(const MemoryRegistryStore&) = delete;
    MemoryRegistryStore& operator=(const MemoryRegistryStore&) = delete;

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
    // Destroy every watch before the store.
    std::unique_ptr<KeyWatch> WatchKey(RegHandle key, const char* path, std::function<void()> changed) override;

    // --- Direct access for tests and demos (no handles involved) -------------
    // Paths are "\"-separated below a predefined root; missing levels are created.
    void PutKey(RegHandle root, std::string_view path);
    void PutValue(RegHandle root, std::string_view path, std::string_view name, std::uint32_t type,
                  std::vector<std::uint8_t> data);
    void PutString(RegHandle root, std::string_view path, std::string_view name, std::string_view text);  // REG_SZ + NUL
    void PutDword(RegHandle root, std::string_view path, std::string_view name, std::uint32_t number);
    std::optional<StoredValue> GetValue(RegHandle root, std::string_view path, std::string_view name) const;
    bool HasKey(RegHandle root, std::string_view path) const;
    void RemoveKey(RegHandle root, std::string_view path);  // with everything below it
    // RegRenameKey: the key, with everything below it, takes a new name under the
    // same parent; handles open on it follow it. False when there is no such key
    // or a sibling already has the name.
    bool RenameKey(RegHandle root, std::string_view path, std::string_view newName);
    void RemoveValue(RegHandle root, std::string_view path, std::string_view name);

    // Opening this key with any access bit in deniedAccess gives ERROR_ACCESS_DENIED.
    void DenyAccess(RegHandle root, std::string_view path, std::uint32_t deniedAccess);

    // ConnectRegistry follows Microsoft's documents: a NULL name is this machine;
    // any other name goes through that machine's Remote Registry service, to
    // HKEY_LOCAL_MACHINE or HKEY_USERS (HKEY_PERFORMANCE_DATA is not modelled).
    // Where they say nothing, this store models: the empty name as NULL (as
    // Wine does); every predefined root on this machine; ERROR_INVALID_HANDLE for
    // another root by name; ERROR_BAD_NETPATH for a name not added here. This
    // machine's own name is one more name (Wine's short-cut for it is not copied):
    // add it where its service should run.
    void AddReachableMachine(std::string name);

    // The environment ExpandEnvironmentStrings reads (names compare without case).
    void SetEnvironmentVariable(std::string name, std::string value);

    // Handles opened or created through this store and not yet closed.
    std::size_t OpenHandleCount() const noexcept;

    // --- Fault injection ----------------------------------------------------
    // The next call of that kind fails with the status and does nothing else.
    void FailNext(Call call, RegStatus status);
    // Runs action just before a call of that kind, once: after `skip` further
    // calls of that kind have gone through normally. Used to change a value
    // between two queries, or remove a key in the middle of an enumeration.
    void Before(Call call, std::size_t skip, std::function<void()> action);

    // How many calls of that kind were made since construction or ResetCounts().
    std::size_t CallCount(Call call) const noexcept;
    void ResetCounts() noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace gt3
