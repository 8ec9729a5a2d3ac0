#include "EnumBench.h"

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "registry/RegistryRoutines.h"

namespace gt3::bench {
namespace {

constexpr std::uint32_t kNameCapacity = 260;
constexpr std::uint32_t kValueBuffer = 4096;

std::string KeyName(int i) {
    char name[64];
    std::snprintf(name, sizeof name, "Account%05d@Example.com", i);
    return name;
}

void Check(RegStatus status, const char* what) {
    if (status != status::kSuccess) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(status));
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// What a value of each kind looks like in the mix: short texts, a path to expand,
// a few raw bytes, numbers, a short list; one in a hundred is a long text that
// needs the second, larger read.
void PutMixedValue(RegistryStore& store, RegHandle key, int i) {
    char name[64];
    std::snprintf(name, sizeof name, "Value%04d", i);
    std::vector<std::uint8_t> data;
    std::uint32_t type = regtype::kSz;
    auto text = [&](const std::string& s) { data.assign(s.begin(), s.end()), data.push_back(0); };
    if (i % 100 == 99) {
        text(std::string(6000, static_cast<char>('a' + i % 26)));
    } else {
        switch (i % 5) {
        case 0: text("Setting number " + std::to_string(i)); break;
        case 1:
            type = regtype::kExpandSz;
            text("%SystemRoot%\\System32\\gt3_" + std::to_string(i) + ".dll");
            break;
        case 2:
            type = regtype::kBinary;
            for (int b = 0; b < 16; ++b) data.push_back(static_cast<std::uint8_t>(i * 7 + b * 13));
            break;
        case 3: {
            type = regtype::kDword;
            const std::uint32_t v = static_cast<std::uint32_t>(i) * 2654435761u;
            for (int b = 0; b < 4; ++b) data.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
            break;
        }
        case 4: {
            type = regtype::kMultiSz;
            const std::string list = std::string("alpha") + '\0' + "beta" + '\0' + std::to_string(i) + '\0';
            data.assign(list.begin(), list.end());
            data.push_back(0);
            break;
        }
        }
    }
    Check(store.SetValue(key, name, 0, type, data.data(), static_cast<std::uint32_t>(data.size())), "SetValue");
}

RegHandle CreateScratchKey(RegistryStore& store, RegHandle root, const std::string& path) {
    RegHandle key = 0;
    std::uint32_t disposition = 0;
    SecurityAttributes security{};
    Check(store.CreateKey(root, path.c_str(), 0, "", kOptionNonVolatile, access::kAllAccess, &security, &key,
                          &disposition),
          "CreateKey");
    return key;
}

// The hand-written loop for sub-keys: the store's enumerate call, names collected
// as narrow strings.
std::vector<std::string> PlainEnumKeys(RegistryStore& store, RegHandle root, const std::string& path) {
    std::vector<std::string> names;
    RegHandle key = 0;
    if (store.OpenKey(root, path.c_str(), 0, access::kRead, &key) != status::kSuccess) return names;
    char name[kNameCapacity];
    FileTime written;
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t nameChars = kNameCapacity;
        if (store.EnumKey(key, index, name, &nameChars, nullptr, nullptr, &written) != status::kSuccess) break;
        names.emplace_back(name, nameChars);
    }
    store.CloseKey(key);
    return names;
}

struct PlainValue {
    std::string name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
};

// The hand-written value loop: a 4096-byte buffer, one retry with the size the
// store asks for, name and raw data collected.
std::vector<PlainValue> PlainEnumValues(RegistryStore& store, RegHandle root, const std::string& path) {
    std::vector<PlainValue> values;
    RegHandle key = 0;
    if (store.OpenKey(root, path.c_str(), 0, access::kRead, &key) != status::kSuccess) return values;
    char name[kNameCapacity];
    std::vector<std::uint8_t> buffer(kValueBuffer);
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t nameChars = kNameCapacity;
        std::uint32_t type = 0;
        std::uint32_t size = kValueBuffer;
        RegStatus st = store.EnumValue(key, index, name, &nameChars, &type, buffer.data(), &size);
        if (st == status::kMoreData) {
            std::vector<std::uint8_t> larger(size);
            nameChars = kNameCapacity;
            st = store.EnumValue(key, index, name, &nameChars, &type, larger.data(), &size);
            if (st != status::kSuccess) break;
            larger.resize(size);
            values.push_back({std::string(name, nameChars), type, std::move(larger)});
            continue;
        }
        if (st != status::kSuccess) break;
        values.push_back({std::string(name, nameChars), type, std::vector<std::uint8_t>(buffer.data(), buffer.data() + size)});
    }
    store.CloseKey(key);
    return values;
}

bool SameNames(const Collection& listed, const std::vector<std::string>& names) {
    if (listed.Count() != names.size()) return false;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto& key = listed.EntryAt(i).key;
        if (!key || *key != Widen(names[i])) return false;
    }
    return true;
}

void Report(const std::string& what, const PairTimes& t, const char* routine, const char* plain, int items) {
    char line[256];
    std::snprintf(line, sizeof line, "%s: %s %.3f ms, %s %.3f ms (%d items, median of %zu each; %.0f vs %.0f ns/item)",
                  what.c_str(), routine, t.medianA(), plain, t.medianB(), items, t.a.size(),
                  t.medianA() * 1e6 / items, t.medianB() * 1e6 / items);
    PrintFigure(line);
}

}  // namespace

void PopulateEnumBench(const EnumBenchSetup& s) {
    const RegHandle keys = CreateScratchKey(s.store, s.root, s.basePath + "\\Keys");
    for (int i = 0; i < s.keyCount; ++i) {
        const RegHandle sub = CreateScratchKey(s.store, keys, KeyName(i));
        s.store.CloseKey(sub);
    }
    s.store.CloseKey(keys);
    const RegHandle values = CreateScratchKey(s.store, s.root, s.basePath + "\\Values");
    for (int i = 0; i < s.valueCount; ++i) PutMixedValue(s.store, values, i);
    s.store.CloseKey(values);
}

bool RunEnumBench(const EnumBenchSetup& s) {
    RegistryRoutines routines(s.store);
    bool ok = true;

    const std::string keysPath = s.basePath + "\\Keys";
    const std::wstring keysPathW = Widen(keysPath);
    {
        const Collection listed = routines.EnumRegistryKeys(s.root, keysPathW);
        const auto names = PlainEnumKeys(s.store, s.root, keysPath);
        if (names.size() != static_cast<std::size_t>(s.keyCount) || !SameNames(listed, names)) {
            std::printf("enum_keys_%s: the two loops listed different names (%zu vs %zu)\n", s.label.c_str(),
                        listed.Count(), names.size());
            ok = false;
        }
    }
    const PairTimes keys = Interleave(
        s.keyReps, [&] { Consume(routines.EnumRegistryKeys(s.root, keysPathW).Count()); },
        [&] { Consume(PlainEnumKeys(s.store, s.root, keysPath).size()); });
    Report("enum_keys_" + s.label, keys, "EnumRegistryKeys", "plain EnumKey loop", s.keyCount);
    PrintRatio("enum_keys_" + s.label, keys.ratio(), 1.2);

    const std::string valuesPath = s.basePath + "\\Values";
    const std::wstring valuesPathW = Widen(valuesPath);
    {
        const Collection listed = routines.EnumRegistryValues(s.root, valuesPathW);
        const auto plain = PlainEnumValues(s.store, s.root, valuesPath);
        if (plain.size() != static_cast<std::size_t>(s.valueCount) || listed.Count() != plain.size()) {
            std::printf("enum_values_%s: the two loops listed different counts (%zu vs %zu)\n", s.label.c_str(),
                        listed.Count(), plain.size());
            ok = false;
        }
    }
    const PairTimes values = Interleave(
        s.valueReps, [&] { Consume(routines.EnumRegistryValues(s.root, valuesPathW).Count()); },
        [&] { Consume(PlainEnumValues(s.store, s.root, valuesPath).size()); });
    Report("enum_values_" + s.label, values, "EnumRegistryValues", "plain EnumValue loop", s.valueCount);
    PrintRatio("enum_values_" + s.label, values.ratio(), 1.3);
    return ok;
}

}  // namespace gt3::bench
