// Benchmark 6: from a change in the registry to the display that shows it, with
// 10,000 accounts: the in-memory store's watch reports the change, and the form's
// Registry_Change lists the accounts again and reads the picked one, on the
// tests' fakes of the controls. The window waits kRefreshDelayMs for a burst to
// end before it refreshes; that wait is part of the figure.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "app/FormMain.h"
#include "app/tests/native/FormFakes.h"
#include "registry/MemoryRegistryStore.h"

namespace gt3::bench {
namespace {

constexpr int kAccounts = 10000;
constexpr int kRounds = 21;
constexpr char kProduct[] = "SOFTWARE\\Quorvane\\Glimtrove";

std::string Account(int i) {
    char name[64];
    std::snprintf(name, sizeof name, "%s\\account%05d@example.com", kProduct, i);
    return name;
}

struct Change {
    const char* name;
    std::function<void(int round)> make;
};

}  // namespace
}  // namespace gt3::bench

int main() {
    using namespace gt3;
    using namespace gt3::bench;
    using namespace gt3::app::test;
    try {
        MemoryRegistryStore store;
        for (int i = 0; i < kAccounts; ++i)
            store.PutString(root::kLocalMachine, Account(i), "Log", i % 2 ? "1" : "0");
        FakeFormParts fakes;
        app::FormMain form(store, fakes.parts());
        form.Form_Load();
        const std::wstring picked = fakes.combo.items.at(kAccounts / 2);
        fakes.combo.selected = picked;
        form.comEmail_Click();
        bool reported = false, pickedOn = false;
        const auto watch = form.WatchAccounts([&] { reported = true; });

        const Change changes[] = {
            {"the picked account's Log",
             [&](int round) {
                 pickedOn = round % 2 == 0;
                 store.PutString(root::kLocalMachine, Account(kAccounts / 2), "Log", pickedOn ? "1" : "0");
             }},
            {"an account added", [&](int round) { store.PutKey(root::kLocalMachine, Account(kAccounts + round)); }},
            {"an account deleted", [&](int round) { store.RemoveKey(root::kLocalMachine, Account(round)); }},
        };
        changes[0].make(1);  // one refresh untimed, as the benchmarks' other warm-ups
        form.Registry_Change();
        bool ok = true;
        double worst = 0;
        for (const Change& change : changes) {
            std::vector<double> ms;
            for (int round = 0; round < kRounds; ++round) {
                reported = false;
                fakes.log.clear();
                ms.push_back(TimeMs([&] {
                    change.make(round);
                    if (reported) form.Registry_Change();
                }));
                ok = ok && reported && fakes.combo.selected == picked &&
                     fakes.lblLog.caption == (pickedOn ? L"Logging Enabled" : L"Logging Disabled");
            }
            const double median = Median(ms);
            worst = std::max(worst, median);
            char line[200];
            std::snprintf(line, sizeof line,
                          "%s: %.1f ms to the refreshed display (median of %d, slowest %.1f), plus the %u ms wait",
                          change.name, median, kRounds, *std::max_element(ms.begin(), ms.end()),
                          app::kRefreshDelayMs);
            PrintFigure(line);
        }
        if (!ok) PrintFigure("[THE DISPLAY DID NOT SHOW THE CHANGE]");
        PrintRatio("refresh_10k_accounts_s", (worst + app::kRefreshDelayMs) / 1000.0, 1);
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "refresh bench: %s\n", e.what());
        return 2;
    }
}
