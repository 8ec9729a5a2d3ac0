#include "Win32RegistryStore.h"

#include <windows.h>
#undef ExpandEnvironmentStrings  // the store's member, not windows.h's A/W mapping

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "KeyHandle.h"
#include "Owned.h"

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

void CloseEvent(HANDLE event) noexcept { CloseHandle(event); }

// An event (CreateEventW), auto-reset: the wait that sees it set takes it.
using EventHandle = Owned<HANDLE, ReleaseWith<&CloseEvent>>;

// The key's full name in the registry (\REGISTRY\MACHINE\...), which follows
// the key when it or a key above it is renamed: KeyNameInformation of ZwQueryKey,
// documented in the WDK, which user mode calls as NtQueryKey. Two open keys that
// are not deleted are the same key exactly when their names are equal. Empty when
// the name cannot be had (a deleted key).
std::wstring FullName(RegHandle key) {
    using NtQueryKeyFn = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<NtQueryKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
    constexpr int kKeyNameInformation = 3;
    if (!query) return {};
    // KEY_NAME_INFORMATION: the name's length in bytes, then the name, no NUL.
    std::vector<ULONG> buffer(128);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto capacity = static_cast<ULONG>(buffer.size() * sizeof(ULONG));
        ULONG needed = 0;
        if (query(ToHkey(key), kKeyNameInformation, buffer.data(), capacity, &needed) >= 0) {
            const std::size_t bytes = std::min<std::size_t>(buffer[0], capacity - sizeof(ULONG));
            return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + 1), bytes / sizeof(wchar_t));
        }
        if (needed <= capacity) return {};
        buffer.resize(needed / sizeof(ULONG) + 1);
    }
    return {};
}

// One key of the watched path and its notification. The key is closed before
// its event: closing a key sets the event of its pending notification.
class WatchedLevel {
public:
    WatchedLevel(RegistryStore& store, RegHandle root, const std::string& path, bool whole)
        : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)), key_(store), subtree_(whole ? TRUE : FALSE),
          filter_(whole ? REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET : REG_NOTIFY_CHANGE_NAME) {
        store.OpenKey(root, path.c_str(), 0, access::kRead, key_.put());
    }
    bool opened() const noexcept { return static_cast<bool>(key_); }
    RegHandle key() const noexcept { return key_.get(); }
    std::uintptr_t event() const noexcept { return reinterpret_cast<std::uintptr_t>(event_.get()); }
    // Asks for the next change: kKeyDeleted once the key is deleted; any other
    // failure (no event, a key that refuses notification) means it cannot be armed.
    RegStatus Arm() const {
        if (!event_) return status::kInvalidHandle;
        return static_cast<RegStatus>(
            RegNotifyChangeKeyValue(ToHkey(key_.get()), subtree_, filter_, event_.get(), TRUE));
    }
    bool Deleted() const {
        return RegQueryInfoKeyA(ToHkey(key_.get()), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr) == status::kKeyDeleted;
    }

private:
    EventHandle event_;
    KeyHandle key_;
    BOOL subtree_;
    DWORD filter_;
};

// Watches the deepest existing level of the path, down to its first: the key
// itself, whole, or while it is missing the nearest level above it, for names;
// and every level above that one, for names. A key made or deleted is reported
// to its parent. Which watches hear a rename, Microsoft does not document (Wine
// tells the renamed key's own, not its parent's): with every level watched, it
// is heard either way, and after each report the watched key is checked to be
// the one at its path still.
class Win32KeyWatch final : public KeyWatch {
public:
    Win32KeyWatch(RegistryStore& store, RegHandle root, std::string_view path, std::function<void()> changed)
        : store_(store), root_(root), changed_(std::move(changed)) {
        for (std::size_t end = 0; end != std::string_view::npos;) {
            end = path.find('\\', end + 1);
            if (const auto level = path.substr(0, end); !level.empty()) levels_.emplace_back(level);
        }
        Locate();
    }

    std::vector<std::uintptr_t> Events() const override {
        std::vector<std::uintptr_t> events;
        for (const auto& level : watched_) events.push_back(level.event());
        return events;
    }

    bool Placed() const override { return placed_; }

    void Signalled(std::uintptr_t event) override {
        bool armed = true;
        for (const auto& level : watched_)
            if (level.event() == event && level.Arm() != status::kSuccess) armed = false;
        if (!armed || Stale()) Locate();
        changed_();
    }

private:
    enum class Placing { Placed, Moved, Unarmable };

    // A few rounds at most: a path that keeps changing under the watch, or a level
    // that opens but cannot be armed, leaves it unplaced, and the thread that made
    // it tries again later (Placed), rather than spinning here.
    static constexpr int kMaxRounds = 4;

    void Locate() {
        for (int round = 0; round < kMaxRounds; ++round) {
            const Placing placing = PlaceOnce();
            if (placing == Placing::Unarmable) break;
            if (placing == Placing::Placed && !Stale()) {
                placed_ = true;
                return;
            }
        }
        watched_.clear();
        placed_ = false;
    }

    Placing PlaceOnce() {
        watched_.clear();
        watched_.reserve(levels_.size());
        for (depth_ = levels_.size(); depth_ > 0; --depth_) {
            watched_.emplace_back(store_, root_, levels_[depth_ - 1], depth_ == levels_.size());
            if (watched_.back().opened()) break;
            watched_.pop_back();
        }
        if (depth_ == 0) return Placing::Unarmable;  // not even the first level: nothing to watch
        for (std::size_t above = depth_ - 1; above > 0; --above)
            watched_.emplace_back(store_, root_, levels_[above - 1], false);
        for (const auto& level : watched_) {
            if (!level.opened()) return Placing::Moved;
            if (const RegStatus armed = level.Arm(); armed != status::kSuccess)
                return armed == status::kKeyDeleted ? Placing::Moved : Placing::Unarmable;
        }
        return Placing::Placed;
    }

    // What is watched no longer matches the registry, and no armed watch will say
    // so: the key deleted or renamed away (another key, or none, at its path), or,
    // while it is missing, a level below the one watched made. Also true when that
    // happened while the watches were being armed, before they could hear of it.
    bool Stale() const {
        const WatchedLevel& deepest = watched_.front();
        if (deepest.Deleted()) return true;
        if (depth_ < levels_.size() && Exists(levels_[depth_])) return true;
        KeyHandle atPath(store_);
        if (store_.OpenKey(root_, levels_[depth_ - 1].c_str(), 0, access::kRead, atPath.put()) != status::kSuccess)
            return true;
        return FullName(deepest.key()) != FullName(atPath.get());
    }

    bool Exists(const std::string& path) const {
        KeyHandle key(store_);
        return store_.OpenKey(root_, path.c_str(), 0, access::kRead, key.put()) == status::kSuccess;
    }

    RegistryStore& store_;
    RegHandle root_;
    std::function<void()> changed_;
    std::vector<std::string> levels_;     // "A", "A\\B", "A\\B\\C"
    std::size_t depth_ = 0;               // levels that exist, as last located
    std::vector<WatchedLevel> watched_;   // the deepest existing level first, then each above it
    bool placed_ = false;
};

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

std::unique_ptr<KeyWatch> Win32RegistryStore::WatchKey(RegHandle key, const char* path,
                                                       std::function<void()> changed) {
    return WatchPlatformKey(*this, key, path, std::move(changed));
}

std::unique_ptr<KeyWatch> WatchPlatformKey(RegistryStore& opener, RegHandle key, const char* path,
                                           std::function<void()> changed) {
    return std::make_unique<Win32KeyWatch>(opener, key, path ? path : "", std::move(changed));
}

RegistryStore& PlatformRegistryStore() {
    static Win32RegistryStore store;
    return store;
}

}  // namespace gt3
