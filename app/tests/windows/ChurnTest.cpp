// The main window under churn: a thousand random picks and presses while
// another thread keeps rewriting the accounts behind it (keys removed and
// re-made, Log of every type and of 100 KB, keys made unwritable). The window
// must never end with an error, must always show one of its four states, the
// one that matches what it actually read or wrote, and must not gather window
// or GDI objects as it goes.

#include "app/tests/windows/WindowUnderTest.h"
#include "registry/Win32RegistryStore.h"
#include "registry/tests/support/ForwardingStore.h"
#include "registry/tests/support/Wine.h"

#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace gt3::app::test {
namespace {

using C = layout::Control;
using gt3::test::ForwardingStore;

// Passes every call to the platform store and keeps what the window's last
// value read and write got back, so the state shown can be checked against what
// the window saw rather than against a registry that has moved on since. It
// watches nothing: the window's own refreshes would show reads this test does
// not see (the test below covers them).
class RecordingStore final : public gt3::test::UnwatchedStore {
public:
    struct Record {
        bool queried = false;
        RegStatus readStatus = 0;
        std::uint32_t type = 0;
        std::string data;                 // the bytes the last read handed back
        std::optional<RegStatus> write;   // status of the value write, if one was made
        bool accessDenied = false;        // an open was refused by the key's security
    };

    using UnwatchedStore::UnwatchedStore;

    Record Take() {
        std::lock_guard lock(mutex_);
        return std::exchange(record_, {});
    }

    RegStatus QueryValue(RegHandle key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* dataSize) override {
        const std::uint32_t capacity = dataSize ? *dataSize : 0;
        const RegStatus s = inner_.QueryValue(key, valueName, type, data, dataSize);
        std::lock_guard lock(mutex_);
        record_.queried = true;
        record_.readStatus = s;
        record_.type = type ? *type : 0;
        record_.data.clear();
        if (s == status::kSuccess && data && dataSize)
            record_.data.assign(reinterpret_cast<const char*>(data), std::min(*dataSize, capacity));
        return s;
    }
    RegStatus OpenKey(RegHandle key, const char* subKey, std::uint32_t options, std::uint32_t access,
                      RegHandle* result) override {
        const RegStatus s = inner_.OpenKey(key, subKey, options, access, result);
        std::lock_guard lock(mutex_);
        record_.accessDenied |= s == status::kAccessDenied;
        return s;
    }
    RegStatus SetValue(RegHandle key, const char* valueName, std::uint32_t reserved, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t dataSize) override {
        const RegStatus s = inner_.SetValue(key, valueName, reserved, type, data, dataSize);
        std::lock_guard lock(mutex_);
        record_.write = s;
        return s;
    }

private:
    std::mutex mutex_;
    Record record_;
};

// The state a pick must show after the read it made. After any failed read (the
// key gone, the value gone, or grown again between the class's two queries) the
// class hands back the caller's default, which shows "unreadable"; the record is
// the window's last query, and only the window queries through this store.
std::vector<Shown> AfterRead(const RecordingStore::Record& r) {
    if (!r.queried || r.readStatus != status::kSuccess) return {Shown::Unreadable};
    std::string text;
    switch (r.type) {
    case REG_SZ:
        text = r.data;
        if (!text.empty() && text.back() == '\0') text.pop_back();
        break;
    case REG_BINARY: text = r.data; break;
    case REG_DWORD: {
        std::int32_t n = 0;
        std::memcpy(&n, r.data.data(), std::min<std::size_t>(4, r.data.size()));
        text = std::to_string(n);
        break;
    }
    case REG_MULTI_SZ:
        text = r.data.substr(0, r.data.find('\0'));
        break;
    default: break;  // REG_EXPAND_SZ and the types without a conversion read as nothing
    }
    if (text.empty() || (text[0] != '0' && text[0] != '1')) return {Shown::Unreadable};
    return {text[0] == '1' ? Shown::On : Shown::Off};
}

// GDI objects of this process. Wine's GetGuiResources is a stub that returns 0;
// its GDI handle table sits in the process block as on Windows, so under Wine
// the live entries are counted, once a probe has shown which byte marks them.
// The probe counts this process's objects as a whole: make the counter before
// any other thread can make or free GDI objects.
class GdiCounter {
public:
    GdiCounter() {
        if (GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS) != 0) {
            useApi_ = true;
            return;
        }
        if (!gt3::test::UnderWine()) return;
        const auto* peb = static_cast<const std::uint8_t*>(Peb());
        if (!peb) return;
        for (const std::uint8_t* table : TableCandidates(peb)) {
            table_ = table;
            for (std::size_t offset : {14u, 15u, 12u, 13u}) {
                typeOffset_ = offset;
                const long before = CountTable();
                std::array<HBRUSH, 10> brushes{};
                for (auto& b : brushes) b = CreateSolidBrush(RGB(1, 2, 3));
                const long during = CountTable();
                for (auto b : brushes) DeleteObject(b);
                if (during - before == 10 && CountTable() == before) return;
            }
        }
        table_ = nullptr;
    }
    bool available() const { return useApi_ || table_; }
    long Count() const { return useApi_ ? long(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) : CountTable(); }

private:
    static void* Peb() {
        struct BasicInformation {
            LONG_PTR exitStatus;
            void* peb;
            ULONG_PTR rest[4];
        } info{};
        using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
        const auto query = reinterpret_cast<Query>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
        if (!query || query(GetCurrentProcess(), 0 /* basic information */, &info, sizeof info, nullptr) != 0)
            return nullptr;
        return info.peb;
    }
    // Where GdiSharedHandleTable may be: in this process block, and for a 32-bit
    // process under Wine's WoW64 in the 64-bit block one page below it (where
    // Wine keeps it; the 32-bit field stays empty).
    static std::vector<const std::uint8_t*> TableCandidates(const std::uint8_t* peb) {
        std::vector<const std::uint8_t*> found;
        const auto add = [&](const void* field, bool wide) {
            MEMORY_BASIC_INFORMATION page{};
            if (!VirtualQuery(field, &page, sizeof page) || page.State != MEM_COMMIT) return;
            std::uint64_t address = 0;
            std::memcpy(&address, field, wide ? 8 : 4);
            if (address == 0 || address > UINTPTR_MAX) return;
            const auto* table = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(address));
            // Only a table that can be read whole: a wrong guess must not crash the test.
            if (VirtualQuery(table, &page, sizeof page) && page.State == MEM_COMMIT &&
                static_cast<const std::uint8_t*>(page.BaseAddress) + page.RegionSize >= table + kEntries * kEntrySize)
                found.push_back(table);
        };
        add(peb + 0x94, false);
        add(peb - 0x1000 + 0xF8, true);
        return found;
    }
    long CountTable() const {
        long n = 0;
        for (std::size_t i = 0; i < kEntries; ++i) n += table_[i * kEntrySize + typeOffset_] != 0;
        return n;
    }
    // Wine's entries are 24 bytes in 32-bit and 64-bit processes alike.
    static constexpr std::size_t kEntries = 0x10000, kEntrySize = 24;
    bool useApi_ = false;
    const std::uint8_t* table_ = nullptr;
    std::size_t typeOffset_ = 0;
};

const std::array<std::string, 5> kAccounts = {"alpha@example.com", "bravo@example.com", "charlie@example.com",
                                              "delta@example.com", "echo@example.com"};

// Everything the other thread does to an account.
class Churner {
public:
    Churner(HKEY product, unsigned seed) : product_(product), random_(seed) {
        const std::string big1 = "1" + std::string(100 * 1024 - 2, 'x') + '\0';
        const std::string big0 = "0" + std::string(100 * 1024 - 1, 'y');
        const std::int32_t dwords[] = {0, 1, -1, 12};
        logs_ = {
            {REG_SZ, std::string("0\0", 2)},      {REG_SZ, std::string("1\0", 2)},
            {REG_SZ, std::string("10\0", 3)},     {REG_SZ, std::string(" 1\0", 3)},
            {REG_SZ, std::string("\0", 1)},       {REG_SZ, ""},
            {REG_SZ, big1},                       {REG_EXPAND_SZ, std::string("1\0", 2)},
            {REG_BINARY, "1"},                    {REG_BINARY, "0"},
            {REG_BINARY, big0},                   {REG_BINARY, ""},
            {REG_MULTI_SZ, std::string("1\0\0", 3)}, {REG_MULTI_SZ, std::string("\0" "1\0\0", 4)},
            {REG_QWORD, std::string("\1\0\0\0\0\0\0\0", 8)}, {REG_NONE, "1"},
        };
        for (std::int32_t d : dwords) logs_.push_back({REG_DWORD, std::string(reinterpret_cast<const char*>(&d), 4)});
        ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;0x2;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                             &readOnly_, nullptr);
        ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;KA;;;WD)", SDDL_REVISION_1, &writable_, nullptr);
    }
    ~Churner() {
        LocalFree(readOnly_);
        LocalFree(writable_);
    }

    void Step() {
        const std::string& account = kAccounts[random_() % kAccounts.size()];
        const unsigned what = random_() % 20;
        if (what < 13) {
            const auto& [type, data] = logs_[random_() % logs_.size()];
            HKEY key{};
            if (RegCreateKeyExA(product_, account.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
                ERROR_SUCCESS) {
                RegSetValueExA(key, "Log", 0, type, reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size()));
                RegCloseKey(key);
            }
            ++counts_["set Log"];
        } else if (what < 15) {
            RegDeleteKeyValueA(product_, account.c_str(), "Log");
            ++counts_["delete Log"];
        } else if (what < 17) {
            RegDeleteTreeA(product_, account.c_str());
            ++counts_["delete key"];
        } else {
            // Unwritable: nobody may set a value; or writable again.
            const bool deny = what < 19;
            HKEY key{};
            if (RegOpenKeyExA(product_, account.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
                RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, deny ? readOnly_ : writable_);
                RegCloseKey(key);
            }
            ++counts_[deny ? "make unwritable" : "make writable"];
        }
    }
    const std::map<std::string, int>& counts() const { return counts_; }

private:
    HKEY product_;
    std::mt19937 random_;
    std::vector<std::pair<DWORD, std::string>> logs_;
    PSECURITY_DESCRIPTOR readOnly_{}, writable_{};
    std::map<std::string, int> counts_;
};

TEST(MainWindowChurn, ThousandPicksAndPressesWhileTheRegistryChanges) {
    constexpr unsigned kSeed = 20260;
    constexpr int kActions = 1000;
    constexpr int kWarmUp = 30;
    std::printf("churn seed %u\n", kSeed);

    GdiCounter gdi;  // before the window's thread and the churn thread start
    ASSERT_TRUE(gdi.available()) << "no GDI object count: a leak would go unseen";
    PrivateLocalMachine hklm(L"Churn");
    for (const std::string& account : kAccounts) hklm.Put(account, REG_SZ, std::string("0\0", 2));
    hklm.Put("Nobody", REG_SZ, std::string("1\0", 2));

    RecordingStore store(PlatformRegistryStore());
    WindowThread window(store);
    ASSERT_TRUE(window.created());
    ASSERT_EQ(window.ComboCount(), int(kAccounts.size()));
    ASSERT_TRUE(window.TakeBoxes().empty());

    std::atomic<bool> stop{false};
    Churner churner(hklm.product(), kSeed + 1);
    std::thread other([&] {
        std::mt19937 pause(kSeed + 2);
        while (!stop) {
            churner.Step();
            Sleep(pause() % 3);
        }
    });

    long gdiAfterWarmUp = 0;
    int refusedByDenyEntry = 0;
    int windowsAfterWarmUp = 0;
    std::map<std::string, int> tally;
    std::mt19937 random(kSeed);
    const auto start = std::chrono::steady_clock::now();

    for (int i = 0; i < kActions && !::testing::Test::HasFailure(); ++i) {
        if (i == kWarmUp) {
            gdiAfterWarmUp = gdi.Count();
            windowsAfterWarmUp = window.WindowCount();
        }
        const Shown before = window.State();
        std::vector<C> pressable;
        for (C b : {C::cmdEnable, C::cmdDisable, C::cmdReload})
            if (window.Visible(b) && window.Enabled(b)) pressable.push_back(b);

        store.Take();
        std::string what;
        std::vector<Shown> allowed;
        std::wstring expectedBox;
        if (pressable.empty() || random() % 2 == 0) {
            const int index = int(random() % kAccounts.size());
            window.Pick(index);
            const auto record = store.Take();
            allowed = AfterRead(record);
            what = "pick " + kAccounts[std::size_t(index)] + " (read status " + std::to_string(record.readStatus) +
                   ", type " + std::to_string(record.type) + ", " + std::to_string(record.data.size()) + " bytes)";
            tally[std::string("pick -> ") + Name(allowed[0])]++;
        } else {
            const C button = pressable[random() % pressable.size()];
            window.Press(button);
            const auto record = store.Take();
            if (button == C::cmdReload) {
                what = "press reload";
                allowed = {before};
                expectedBox = std::wstring(text::kReloadedMessage);
            } else {
                const bool on = button == C::cmdEnable;
                const bool written = record.write == status::kSuccess;
                const bool denied = record.accessDenied || record.write == status::kAccessDenied;
                refusedByDenyEntry += !written && denied;
                what = std::string(on ? "press enable" : "press disable") +
                       (written ? "" : denied ? " (write refused)" : " (write failed)");
                allowed = {written ? (on ? Shown::On : Shown::Off) : before};
                expectedBox = std::wstring(written ? (on ? text::kEnabledMessage : text::kDisabledMessage)
                                                   : text::kSaveFailedMessage);
            }
            tally[what]++;
        }

        SCOPED_TRACE("action " + std::to_string(i) + ": " + what);
        const std::vector<SeenBox> boxes = window.TakeBoxes();
        for (const SeenBox& box : boxes)
            ASSERT_NE(box.caption, text::kProgramTitle) << "the window ended with an error";
        if (expectedBox.empty()) {
            EXPECT_TRUE(boxes.empty());
        } else {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].caption, text::kBoxTitle);
            EXPECT_EQ(boxes[0].text, expectedBox);
            EXPECT_EQ(boxes[0].owner, window.hwnd());
        }
        const Shown now = window.State();
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), now), allowed.end()) << "shows " << Name(now);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stop = true;
    other.join();

    ASSERT_TRUE(IsWindow(window.hwnd())) << "the window is gone";
    EXPECT_EQ(window.WindowCount(), windowsAfterWarmUp) << "windows left behind";
    // The churn makes keys unwritable: presses must have met that refusal.
    EXPECT_GT(refusedByDenyEntry, 0) << "no write was refused: the refusal path went untested";
    // A leak per action would add hundreds; the system's own caches (fonts and
    // DCs met for the first time late in the run) may add a handful.
    constexpr long kSystemCacheSlack = 16;
    EXPECT_LE(gdi.Count(), gdiAfterWarmUp + kSystemCacheSlack) << "GDI objects grew from " << gdiAfterWarmUp;
    std::printf("GDI objects after warm-up %ld, at the end %ld\n", gdiAfterWarmUp, gdi.Count());
    if (const DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS))
        std::printf("USER objects at the end %lu\n", user);
    std::printf("%d actions in %.1f s; windows of the window's thread: %d\n", kActions, seconds, window.WindowCount());
    for (const auto& [name, n] : tally) std::printf("  %-50s %d\n", name.c_str(), n);
    for (const auto& [name, n] : churner.counts()) std::printf("  registry: %-40s %d\n", name.c_str(), n);

    EXPECT_EQ(window.Close(), 0);
    EXPECT_TRUE(window.TakeBoxes().empty());
}

// Kernel handles of this process. Wine 8 answers GetProcessHandleCount with 0:
// there the handle values in use are counted (Wine hands out the lowest free one).
long KernelHandleCount() {
    DWORD count = 0, flags = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count) return long(count);
    for (std::uintptr_t value = 4; value < 0x4000; value += 4)
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0;
    return long(count);
}

// The window opens while the product key is missing, then a thousand changes
// come from another thread, in bursts, the product key deleted and made again
// among them: the window shows each install and ends showing what the registry
// holds, after far fewer refreshes, and gathers no handles, windows or GDI objects.
TEST(MainWindowChurn, ThousandChangesFromAnotherThreadAreShownInFewRefreshes) {
    constexpr char kProduct[] = "SOFTWARE\\Quorvane\\Glimtrove";
    GdiCounter gdi;  // before the window's thread and the other thread start
    ASSERT_TRUE(gdi.available());
    PrivateLocalMachine hklm(L"Follow");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProduct);  // through the override, which stays
    // Every write changes its account's Log (Wine reports no write of the same value).
    const auto put = [&](int i) {
        const std::string path = std::string(kProduct) + "\\" + kAccounts[std::size_t(i) % kAccounts.size()];
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, path.c_str(), "Log", REG_SZ, i % 2 ? "1" : "0", 2);
    };
    WindowThread window(PlatformRegistryStore());
    for (int i = 0; i < 6; ++i) put(i);  // alpha ends on, as after the changes below
    ASSERT_TRUE(PumpUntil([&] { return window.ComboCount() == int(kAccounts.size()); }));
    window.Pick(0);
    const long gdiBefore = gdi.Count(), handlesBefore = KernelHandleCount();
    const int windowsBefore = window.WindowCount();
    std::thread([&] {
        for (int i = 0; i < 1000; ++i) {
            if (i % 50 == 25) RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProduct);
            else put(i);
            if (i % 10 == 9) Sleep(20);
        }
    }).join();
    // All listed again; then a change to the product key made last still shows.
    EXPECT_TRUE(PumpUntil([&] { return window.ComboCount() == int(kAccounts.size()); }));
    window.Pick(0);
    put(1000);
    EXPECT_TRUE(PumpUntil([&] { return window.State() == Shown::Off; })) << Name(window.State());
    std::printf("1000 changes, %zu refreshes\n", window.Refreshes());
    EXPECT_TRUE(window.Refreshes() > 1 && window.Refreshes() < 100);
    EXPECT_LE(KernelHandleCount(), handlesBefore + 8);
    EXPECT_LE(gdi.Count(), gdiBefore + 16);
    EXPECT_EQ(window.WindowCount(), windowsBefore);
    EXPECT_EQ(window.Close(), 0);
}

// Moving between monitors of different DPI, back and forth: every control keeps
// a live font of the new size, the logo is redrawn at it, and no fonts or
// pictures are left behind. The first pick comes after the first move: the
// controls it makes take the DPI of that moment.
TEST(MainWindowChurn, DpiChangesRebuildTheFontsWithoutLeaking) {
    GdiCounter gdi;  // before the window's thread starts
    ASSERT_TRUE(gdi.available()) << "no GDI object count: a leak would go unseen";
    PrivateLocalMachine hklm(L"DpiChurn");
    hklm.Put(kAccounts[0], REG_SZ, std::string("1\0", 2));
    WindowThread window(PlatformRegistryStore());
    ASSERT_TRUE(window.created());

    long gdiBefore = 0;
    for (int i = 0; i < 40; ++i) {
        if (i == 2) gdiBefore = gdi.Count();
        const UINT dpi = i % 2 ? 96 : 144;
        RECT suggested{};
        GetWindowRect(window.hwnd(), &suggested);
        SendMessageW(window.hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        if (i == 0) {
            window.Pick(0);
            ASSERT_EQ(window.TakeBoxes().size(), 0u);
            const layout::PixelRect designed = layout::ToPixels(layout::Design(C::cmdReload).rect, 144);
            RECT button{};
            GetWindowRect(window.Child(C::cmdReload), &button);
            MapWindowPoints(nullptr, window.hwnd(), reinterpret_cast<POINT*>(&button), 2);
            EXPECT_EQ(button.left, designed.left);
            EXPECT_EQ(button.right - button.left, designed.width);
        }
        for (const auto& design : layout::kControls) {
            if (!design.font) continue;
            SCOPED_TRACE(std::to_string(dpi) + " dpi, control " + std::to_string(static_cast<int>(design.id)));
            const auto font = reinterpret_cast<HFONT>(SendMessageW(window.Child(design.id), WM_GETFONT, 0, 0));
            LOGFONTW described{};
            ASSERT_EQ(GetObjectW(font, sizeof described, &described), int(sizeof described)) << "not a live font";
            EXPECT_EQ(described.lfHeight, layout::FontHeightPixels(*design.font, static_cast<std::int32_t>(dpi)));
        }
        // The logo is redrawn at the new size, and its control shows it whole.
        BITMAP logo{};
        GetObjectW(reinterpret_cast<HBITMAP>(SendMessageW(window.Child(C::imgLogo), STM_GETIMAGE, IMAGE_BITMAP, 0)),
                   sizeof logo, &logo);
        RECT shown{};
        GetWindowRect(window.Child(C::imgLogo), &shown);
        EXPECT_NEAR(logo.bmWidth, 220 * dpi / 96.0, 1) << dpi << " dpi";
        EXPECT_NEAR(logo.bmHeight, 82 * dpi / 96.0, 1) << dpi << " dpi";
        EXPECT_EQ(shown.right - shown.left, logo.bmWidth);
        EXPECT_EQ(shown.bottom - shown.top, logo.bmHeight);
    }
    constexpr long kSystemCacheSlack = 16;  // three fonts leaked per change would add over a hundred
    EXPECT_LE(gdi.Count(), gdiBefore + kSystemCacheSlack);
    EXPECT_EQ(window.Close(), 0);
}

}  // namespace
}  // namespace gt3::app::test
