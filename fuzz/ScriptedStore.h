#pragma once
// A registry store whose every answer comes from the fuzzer's bytes: statuses,
// type codes, reported sizes, data, name lengths, ERROR_MORE_DATA on the retry.
// It keeps the books the targets check against: which handles are open, what it
// wrote into each caller buffer and how large that buffer was, what it was handed
// to write. It fills a buffer only up to the capacity it was given and puts the
// sentinel 0xBD in the part it did not fill, so an overread either trips ASan or
// shows up in the result.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "registry/RegistryStore.h"
#include "registry/Variant.h"

namespace gt3::fuzz {

[[noreturn]] void Fail(const char* what, const std::string& detail = {});
// A short printable form of a value for failure messages.
std::string Show(const Variant& v);

constexpr std::uint8_t kSentinel = 0xBD;
// Roots a test hands to the class: one predefined, one that stands for a key
// the caller opened itself. The class must never close either.
constexpr RegHandle kCallerKey = 0x4444;

// One value as the store holds it for a read, or for one index of an enumeration.
struct ScriptedValue {
    enum class Mode { Honest, Absent, Scripted };
    // Honest: answers as the platform does (234 with the size needed, then the data).
    // Absent: status 2 for a read, 259 for an enumeration index.
    // Scripted: every call takes status, type and sizes from the fuzzer, lies included.
    Mode mode = Mode::Honest;
    std::string name;  // enumeration only; no NUL
    std::uint32_t type = 0;
    std::string data;
    // How ExpandEnvironmentStrings treats this value's text.
    enum class Expansion { Identity, Other, Fails, Grows } expansion = Expansion::Identity;
    std::string expanded;  // Other: the expansion; no NUL
};

// The last answer given for one read or one enumeration index.
struct Reply {
    ScriptedValue value;
    int calls = 0;
    RegStatus status = -1;
    std::uint32_t type = 0;            // what the caller's type variable held afterwards
    std::uint32_t reported = 0;        // data size reported
    std::uint32_t capacity = 0;        // data buffer size the caller gave
    std::vector<std::uint32_t> capacities;  // of every call, in order
    std::vector<RegStatus> statuses;        // of every call
    std::vector<std::uint32_t> reports;     // data size reported by every call
    std::string visible;               // buffer[0, min(reported, capacity)) afterwards
    std::string nameVisible;           // enumeration: the name bytes written
    std::uint32_t nameCapacity = 0;
    int expansions = 0;
};

struct SetRecord {
    RegHandle key = 0;
    std::string name;
    std::uint32_t reserved = 0;
    std::uint32_t type = 0;
    std::string bytes;
    RegStatus status = 0;
};

struct OpenRecord {
    RegHandle parent = 0;
    std::string path;
    std::uint32_t access = 0;
    RegStatus status = 0;
    RegHandle handle = 0;
};

class ScriptedStore final : public RegistryStore {
public:
    explicit ScriptedStore(FuzzedDataProvider& script) : script_(script) {}

    // Starts the books for one operation of the class.
    void Begin();
    // Fails unless every handle the store gave out was closed.
    void CheckAllClosed(const char* operation) const;

    const std::vector<OpenRecord>& opens() const { return opens_; }
    const std::vector<Reply>& replies() const { return replies_; }  // by index; a read uses index 0
    const std::vector<SetRecord>& sets() const { return sets_; }
    int connects() const { return connects_; }
    RegHandle connection() const { return connection_; }
    const std::string& machine() const { return machine_; }

    RegStatus OpenKey(RegHandle key, const char* subKey, std::uint32_t options, std::uint32_t access,
                      RegHandle* result) override;
    RegStatus CreateKey(RegHandle, const char*, std::uint32_t, const char*, std::uint32_t, std::uint32_t,
                        const SecurityAttributes*, RegHandle*, std::uint32_t*) override;
    RegStatus CloseKey(RegHandle key) override;
    RegStatus DeleteKey(RegHandle, const char*) override;
    RegStatus DeleteValue(RegHandle, const char*) override;
    RegStatus EnumKey(RegHandle, std::uint32_t, char*, std::uint32_t*, char*, std::uint32_t*, FileTime*) override;
    RegStatus EnumValue(RegHandle key, std::uint32_t index, char* name, std::uint32_t* nameChars,
                        std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override;
    RegStatus QueryValue(RegHandle key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* dataSize) override;
    RegStatus SetValue(RegHandle key, const char* valueName, std::uint32_t reserved, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t dataSize) override;
    RegStatus ConnectRegistry(const char* machineName, RegHandle key, RegHandle* result) override;
    std::uint32_t ExpandEnvironmentStrings(const char* source, char* destination, std::uint32_t capacity) override;
    std::unique_ptr<KeyWatch> WatchKey(RegHandle, const char*, std::function<void()>) override;

private:
    ScriptedValue NextValue(bool enumeration);
    void AddReply(bool enumeration);
    std::string Pattern(std::size_t size, bool allowNul);
    RegStatus PickStatus(std::initializer_list<RegStatus> usual);
    std::uint32_t PickSize(std::uint32_t natural, std::uint32_t capacity);
    RegStatus AnswerData(Reply& reply, std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize,
                         bool enumeration, bool nameFits);
    RegHandle NewHandle(RegHandle parent);
    void CheckUsable(RegHandle key, const char* call) const;

    FuzzedDataProvider& script_;
    RegHandle next_ = 0x100;
    std::map<RegHandle, RegHandle> open_;  // handle -> parent
    RegHandle connection_ = 0;
    int connects_ = 0;
    std::string machine_;
    std::vector<OpenRecord> opens_;
    std::vector<Reply> replies_;
    std::vector<SetRecord> sets_;
    long calls_ = 0;
};

}  // namespace gt3::fuzz
