#pragma once
// The registry as the registry class sees it: the platform's narrow-character
// registry calls, with 32-bit opaque handles and 32-bit statuses.
// Two implementations: Win32RegistryStore (advapi32) and MemoryRegistryStore.

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

// windows.h defines these names as macros (A/W mapping, RtlMoveMemory); here they
// name the interface's own members. Include windows.h before this header.
#ifdef ExpandEnvironmentStrings
#undef ExpandEnvironmentStrings
#endif
#ifdef MoveMemory
#undef MoveMemory
#endif

namespace gt3 {

using RegHandle = std::int32_t;  // opaque; predefined roots are negative
using RegStatus = std::int32_t;

namespace status {
constexpr RegStatus kSuccess = 0;
constexpr RegStatus kFileNotFound = 2;
constexpr RegStatus kAccessDenied = 5;
constexpr RegStatus kInvalidHandle = 6;
constexpr RegStatus kBadNetPath = 53;
constexpr RegStatus kInvalidParameter = 87;
constexpr RegStatus kNoAccess = 998;  // a data pointer that cannot be read
constexpr RegStatus kBadPathname = 161;
constexpr RegStatus kMoreData = 234;
constexpr RegStatus kNoMoreItems = 259;
constexpr RegStatus kKeyDeleted = 1018;
constexpr RegStatus kNoUnicodeTranslation = 1113;
}  // namespace status

namespace root {
constexpr RegHandle kClassesRoot = static_cast<RegHandle>(0x80000000u);
constexpr RegHandle kCurrentUser = static_cast<RegHandle>(0x80000001u);
constexpr RegHandle kLocalMachine = static_cast<RegHandle>(0x80000002u);
constexpr RegHandle kUsers = static_cast<RegHandle>(0x80000003u);
constexpr RegHandle kCurrentConfig = static_cast<RegHandle>(0x80000005u);
}  // namespace root

namespace access {
constexpr std::uint32_t kQueryValue = 0x0001;
constexpr std::uint32_t kSetValue = 0x0002;
constexpr std::uint32_t kCreateSubKey = 0x0004;
constexpr std::uint32_t kEnumerateSubKeys = 0x0008;
constexpr std::uint32_t kNotify = 0x0010;
constexpr std::uint32_t kCreateLink = 0x0020;
constexpr std::uint32_t kDelete = 0x00010000;
constexpr std::uint32_t kMaximumAllowed = 0x02000000;
constexpr std::uint32_t kRead = 0x20019;
constexpr std::uint32_t kWrite = 0x20006;
constexpr std::uint32_t kAllAccess = 0xF003F;
}  // namespace access

namespace regtype {
constexpr std::uint32_t kNone = 0;
constexpr std::uint32_t kSz = 1;
constexpr std::uint32_t kExpandSz = 2;
constexpr std::uint32_t kBinary = 3;
constexpr std::uint32_t kDword = 4;
constexpr std::uint32_t kMultiSz = 7;
}  // namespace regtype

// Longest key name (one level of a path) and longest value name, in characters.
constexpr std::size_t kMaxKeyNameChars = 255;
constexpr std::size_t kMaxValueNameChars = 16383;

constexpr std::uint32_t kOptionNonVolatile = 0;
constexpr std::uint32_t kCreatedNewKey = 1;
constexpr std::uint32_t kOpenedExistingKey = 2;

// The layout of the platform's SECURITY_ATTRIBUTES record.
struct SecurityAttributes {
    std::uint32_t length = 0;
    void* securityDescriptor = nullptr;
    std::int32_t inheritHandle = 0;
};

struct FileTime {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
};

// A watch made by RegistryStore::WatchKey; the watching ends when it is destroyed.
// A store that hears of changes from the platform hands out the events it is told
// through: the thread that made the watch waits for them (in its message loop)
// and passes each one that fires to Signalled, on that thread, which watches on
// and reports. A store that sees its own changes reports each at once, on the
// thread that makes it, and hands out no events.
class KeyWatch {
public:
    virtual ~KeyWatch() = default;
    // Event handles (HANDLE values) to wait for; they change after a Signalled.
    virtual std::vector<std::uintptr_t> Events() const = 0;
    virtual void Signalled(std::uintptr_t event) = 0;
    // False when the store could not place the watch (a key that opens but cannot
    // be watched, a path that kept changing while it was placed): nothing will be
    // heard, and the thread that made it makes a new one later instead.
    virtual bool Placed() const { return true; }
};

// Every call but WatchKey mirrors its advapi32 narrow-character counterpart: same
// arguments, same statuses, same buffer protocol (sizes in bytes for data, in
// characters for names). Null pointers mean what they mean to the platform.
class RegistryStore {
public:
    virtual ~RegistryStore() = default;

    virtual RegStatus OpenKey(RegHandle key, const char* subKey, std::uint32_t options, std::uint32_t access,
                              RegHandle* result) = 0;
    virtual RegStatus CreateKey(RegHandle key, const char* subKey, std::uint32_t reserved, const char* className,
                                std::uint32_t options, std::uint32_t access, const SecurityAttributes* security,
                                RegHandle* result, std::uint32_t* disposition) = 0;
    virtual RegStatus CloseKey(RegHandle key) = 0;
    virtual RegStatus DeleteKey(RegHandle key, const char* subKey) = 0;
    virtual RegStatus DeleteValue(RegHandle key, const char* valueName) = 0;
    virtual RegStatus EnumKey(RegHandle key, std::uint32_t index, char* name, std::uint32_t* nameChars,
                              char* className, std::uint32_t* classChars, FileTime* lastWriteTime) = 0;
    virtual RegStatus EnumValue(RegHandle key, std::uint32_t index, char* name, std::uint32_t* nameChars,
                                std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) = 0;
    virtual RegStatus QueryValue(RegHandle key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                                 std::uint32_t* dataSize) = 0;
    virtual RegStatus SetValue(RegHandle key, const char* valueName, std::uint32_t reserved, std::uint32_t type,
                               const std::uint8_t* data, std::uint32_t dataSize) = 0;
    virtual RegStatus ConnectRegistry(const char* machineName, RegHandle key, RegHandle* result) = 0;

    // ExpandEnvironmentStringsA: characters needed including the NUL, 0 on failure.
    virtual std::uint32_t ExpandEnvironmentStrings(const char* source, char* destination, std::uint32_t capacity) = 0;

    // Reports through `changed` whatever may have changed the key `path` below the
    // predefined root `key`, or anything below it: a sub-key added or deleted, a
    // value set or deleted, the key itself deleted or made again. While the key is
    // missing, the nearest existing key of the path, down to its first level, is
    // watched for it to come. A report may come without a change; none comes
    // after the watch is destroyed. nullptr: this store watches nothing.
    virtual std::unique_ptr<KeyWatch> WatchKey(RegHandle key, const char* path, std::function<void()> changed) = 0;

    // RtlMoveMemory: a plain byte copy, the same on every store.
    static void MoveMemory(void* destination, const void* source, std::size_t count) {
        if (count != 0) std::memmove(destination, source, count);
    }
};

// Predefined roots are usable without opening and are never closed by their users.
constexpr bool IsPredefinedRoot(RegHandle key) noexcept {
    return static_cast<std::uint32_t>(key) >= 0x80000000u && static_cast<std::uint32_t>(key) <= 0x80000006u;
}

}  // namespace gt3
