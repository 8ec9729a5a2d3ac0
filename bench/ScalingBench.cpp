// Benchmark 3: per-item cost at 100,000 items over per-item cost at 1,000, for
// the in-memory store's enumerations, the key enumeration of the registry class
// and the Collection's keyed add and lookup. A path that walks from the start for
// every index (or rehashes badly) shows here as a ratio far above 2.
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "registry/Collection.h"
#include "registry/MemoryRegistryStore.h"
#include "registry/RegistryRoutines.h"

namespace gt3::bench {
namespace {

constexpr int kSizes[] = {1000, 10000, 100000};
constexpr int kLargest = 100000;
constexpr int kReps = 15;

std::string ItemName(int i) {
    char name[64];
    std::snprintf(name, sizeof name, "Account%06d@Example.com", i);
    return name;
}

std::string KeyPath(const char* kind, int n) { return std::string("Software\\GT3Scale\\") + kind + std::to_string(n); }

std::size_t StoreEnumKeys(RegistryStore& store, const std::string& path) {
    RegHandle key = 0;
    if (store.OpenKey(root::kCurrentUser, path.c_str(), 0, access::kRead, &key) != status::kSuccess) return 0;
    char name[260];
    FileTime written;
    std::size_t count = 0;
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t nameChars = 260;
        if (store.EnumKey(key, index, name, &nameChars, nullptr, nullptr, &written) != status::kSuccess) break;
        ++count;
    }
    store.CloseKey(key);
    return count;
}

std::size_t StoreEnumValues(RegistryStore& store, const std::string& path) {
    RegHandle key = 0;
    if (store.OpenKey(root::kCurrentUser, path.c_str(), 0, access::kRead, &key) != status::kSuccess) return 0;
    char name[260];
    std::uint8_t data[4096];
    std::size_t count = 0;
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t nameChars = 260, type = 0, size = sizeof data;
        if (store.EnumValue(key, index, name, &nameChars, &type, data, &size) != status::kSuccess) break;
        ++count;
    }
    store.CloseKey(key);
    return count;
}

struct Workload {
    const char* name;
    // Runs the work for n items once and returns how many items it handled.
    std::function<std::size_t(int n)> run;
};

bool Measure(const Workload& w) {
    // Every sample covers 100,000 items (the work repeated 100,000 / n times), so
    // the three sizes are timed over spans of the same length, in rotating order.
    std::vector<double> perItem[3];
    bool ok = true;
    for (int size = 0; size < 3; ++size)
        if (w.run(kSizes[size]) != static_cast<std::size_t>(kSizes[size])) ok = false;  // warm-up and check
    for (int rep = 0; rep < kReps; ++rep) {
        for (int k = 0; k < 3; ++k) {
            const int size = (rep + k) % 3;
            const int n = kSizes[size];
            const int repeat = kLargest / n;
            const double ms = TimeMs([&] {
                for (int r = 0; r < repeat; ++r) Consume(w.run(n));
            });
            perItem[size].push_back(ms * 1e6 / kLargest);
        }
    }
    const double p1k = Median(perItem[0]), p10k = Median(perItem[1]), p100k = Median(perItem[2]);
    char line[256];
    std::snprintf(line, sizeof line, "%s: %.1f / %.1f / %.1f ns per item at 1,000 / 10,000 / 100,000 (median of %d)%s",
                  w.name, p1k, p10k, p100k, kReps, ok ? "" : "  [WRONG ITEM COUNT]");
    PrintFigure(line);
    PrintRatio(w.name, p100k / p1k, 2);
    return ok;
}

}  // namespace
}  // namespace gt3::bench

int main() {
    using namespace gt3;
    using namespace gt3::bench;
    try {
        MemoryRegistryStore store;
        std::vector<std::string> names;
        std::vector<std::wstring> keys, upperKeys;
        for (int i = 0; i < kLargest; ++i) {
            names.push_back(ItemName(i));
            keys.emplace_back(names.back().begin(), names.back().end());
            std::wstring upper = keys.back();
            for (auto& c : upper) c = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
            upperKeys.push_back(std::move(upper));
        }
        for (int n : kSizes) {
            const std::string keyPath = KeyPath("Keys", n), valuePath = KeyPath("Values", n);
            store.PutKey(root::kCurrentUser, keyPath);
            store.PutKey(root::kCurrentUser, valuePath);
            for (int i = 0; i < n; ++i) {
                store.PutKey(root::kCurrentUser, keyPath + "\\" + names[i]);
                store.PutDword(root::kCurrentUser, valuePath, names[i], static_cast<std::uint32_t>(i));
            }
        }
        RegistryRoutines routines(store);

        const Workload workloads[] = {
            {"scaling_store_enum_keys", [&](int n) { return StoreEnumKeys(store, KeyPath("Keys", n)); }},
            {"scaling_store_enum_values", [&](int n) { return StoreEnumValues(store, KeyPath("Values", n)); }},
            {"scaling_enum_registry_keys",
             [&](int n) {
                 const std::string path = KeyPath("Keys", n);
                 return routines.EnumRegistryKeys(root::kCurrentUser, std::wstring(path.begin(), path.end())).Count();
             }},
            {"scaling_collection_add_lookup",
             [&](int n) {
                 Collection c;
                 for (int i = 0; i < n; ++i) c.Add(Variant(keys[i]), keys[i]);
                 std::size_t found = 0;
                 for (int i = 0; i < n; ++i) found += c.Item(upperKeys[i]).AsString().size() == keys[i].size();
                 return found;
             }},
        };
        bool ok = true;
        for (const auto& w : workloads) ok = Measure(w) && ok;
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "scaling bench: %s\n", e.what());
        return 2;
    }
}
