#include "msgbox/MsgBoxEx.h"

#include <winver.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "msgbox/Placement.h"

namespace gt3 {
namespace {

constexpr char kDialogClass[] = "#32770";
constexpr int kClassNameBufferSize = 32;
constexpr char kIconControlClass[] = "Static";
constexpr UINT kPlacementFlags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;

// Move-only owner of one installed hook; removing it twice is impossible
// because the handle is taken out before UnhookWindowsHookEx.
class HookHandle {
public:
    constexpr HookHandle() noexcept = default;
    explicit HookHandle(HHOOK hook) noexcept : hook_(hook) {}
    HookHandle(const HookHandle&) = delete;
    HookHandle& operator=(const HookHandle&) = delete;
    HookHandle(HookHandle&& other) noexcept : hook_(std::exchange(other.hook_, nullptr)) {}
    HookHandle& operator=(HookHandle&& other) noexcept {
        if (this != &other) {
            reset();
            hook_ = std::exchange(other.hook_, nullptr);
        }
        return *this;
    }
    ~HookHandle() { reset(); }

    HHOOK get() const noexcept { return hook_; }

    void reset() noexcept {
        if (hook_ != nullptr) UnhookWindowsHookEx(std::exchange(hook_, nullptr));
    }

private:
    HHOOK hook_ = nullptr;
};

// The pending request. The hook procedure reads it while the box is being
// created, on this same thread, so it needs no lock; one request at a time.
HookHandle hHook;
std::int32_t lMsgX = 0;
std::int32_t lMsgY = 0;
HICON hMsgIcon = nullptr;

// The program's own version record, read by its documented layout
// (VS_VERSIONINFO) instead of through version.dll: that DLL is not one Windows
// always takes from System32, and importing it would let a copy planted beside
// the exe run before the program's first line.
class VersionRecord {
public:
    explicit VersionRecord(std::span<const std::uint8_t> bytes) noexcept : bytes_(bytes) {}

    // The value of the node at `path` below the root; keys are compared
    // without regard to case, as the version functions compare them.
    std::optional<std::span<const std::uint8_t>> Value(std::initializer_list<std::wstring_view> path) const {
        auto node = NodeAt(0, bytes_.size());
        for (const std::wstring_view key : path) {
            if (!node) return std::nullopt;
            node = Child(*node, key);
        }
        if (!node) return std::nullopt;
        return node->value;
    }

private:
    // wLength, wValueLength, wType, the key with its NUL, padding, the value,
    // padding, the children; every part starts on a 32-bit boundary.
    struct Node {
        std::wstring_view key;
        std::span<const std::uint8_t> value;
        std::size_t children = 0;
        std::size_t end = 0;
    };
    static constexpr std::size_t kHeaderSize = 3 * sizeof(WORD);
    static constexpr WORD kTextValue = 1;  // wValueLength counts WCHARs, not bytes

    static constexpr std::size_t Align(std::size_t offset) noexcept { return (offset + 3) & ~std::size_t{3}; }

    static bool EqualNoCase(std::wstring_view a, std::wstring_view b) noexcept {
        return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
               CSTR_EQUAL;
    }

    // The node at `offset`, if it lies whole before `limit`.
    std::optional<Node> NodeAt(std::size_t offset, std::size_t limit) const noexcept {
        WORD header[3];
        if (offset > limit || limit - offset < kHeaderSize) return std::nullopt;
        std::memcpy(header, bytes_.data() + offset, sizeof header);
        const auto [length, valueLength, type] = header;
        if (length < kHeaderSize || length > limit - offset) return std::nullopt;
        Node node;
        node.end = offset + length;
        const auto* key = reinterpret_cast<const wchar_t*>(bytes_.data() + offset + kHeaderSize);
        const std::size_t keyRoom = (length - kHeaderSize) / sizeof(wchar_t);
        node.key = std::wstring_view(key, wcsnlen(key, keyRoom));
        if (node.key.size() == keyRoom) return std::nullopt;  // no NUL inside the node
        const std::size_t value = std::min(Align(offset + kHeaderSize + (node.key.size() + 1) * sizeof(wchar_t)), node.end);
        const std::size_t valueSize = std::min<std::size_t>(type == kTextValue ? valueLength * sizeof(wchar_t) : valueLength,
                                                             node.end - value);
        node.value = bytes_.subspan(value, valueSize);
        node.children = Align(value + valueSize);
        return node;
    }

    std::optional<Node> Child(const Node& parent, std::wstring_view key) const noexcept {
        for (std::size_t at = parent.children; at < parent.end;) {
            const auto child = NodeAt(at, parent.end);
            if (!child) break;
            if (EqualNoCase(child->key, key)) return child;
            at = Align(child->end);
        }
        return std::nullopt;
    }

    std::span<const std::uint8_t> bytes_;
};

// The internal name in the program's version record, if it has one.
std::optional<std::wstring> InternalName() {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16) /* RT_VERSION */);
    HGLOBAL loaded = found ? LoadResource(self, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return std::nullopt;
    const VersionRecord record({static_cast<const std::uint8_t*>(bytes), SizeofResource(self, found)});

    // The string table is the one the first translation names.
    const auto translation = record.Value({L"VarFileInfo", L"Translation"});
    WORD languageAndCodePage[2];
    if (!translation || translation->size() < sizeof languageAndCodePage) return std::nullopt;
    std::memcpy(languageAndCodePage, translation->data(), sizeof languageAndCodePage);
    wchar_t table[9];
    swprintf(table, std::size(table), L"%04x%04x", languageAndCodePage[0], languageAndCodePage[1]);
    const auto name = record.Value({L"StringFileInfo", table, L"InternalName"});
    if (!name) return std::nullopt;
    const auto* text = reinterpret_cast<const wchar_t*>(name->data());
    std::wstring result(text, wcsnlen(text, name->size() / sizeof(wchar_t)));  // the length may count the NUL
    if (result.empty()) return std::nullopt;
    return result;
}

// The program's title is the internal name of its version record
// ("GT3ErrLog"), which a renamed copy keeps. A program without one is titled by
// its executable's file name without the extension.
std::wstring ApplicationTitle() {
    if (auto name = InternalName()) return std::move(*name);
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);  // truncated: try a larger buffer
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
    return name;
}

bool IsDialogClass(HWND window) {
    char name[kClassNameBufferSize];
    std::fill(std::begin(name), std::end(name), ' ');
    const int count = GetClassNameA(window, name, kClassNameBufferSize);
    return std::string_view(name, count > 0 ? static_cast<std::size_t>(count) : 0) == kDialogClass;
}

ScreenRect ToScreenRect(const RECT& rc) { return {rc.left, rc.top, rc.right, rc.bottom}; }

std::optional<ScreenRect> MonitorWorkArea(const ScreenRect& rect) {
    const RECT rc{rect.left, rect.top, rect.right, rect.bottom};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromRect(&rc, MONITOR_DEFAULTTONEAREST), &monitor)) return std::nullopt;
    return ToScreenRect(monitor.rcWork);
}

// Places the activated box by the placement rule and shows the requested icon.
// An arithmetic overflow leaves the box where the system put it, standard icon.
void PlaceAndDecorate(HWND box) {
    RECT rc{};
    GetWindowRect(box, &rc);
    const ScreenRect boxRect = ToScreenRect(rc);

    // Centred over the owner, then moved onto the screen. An ownerless box
    // (nothing was active) is centred on the work area of the monitor it opened
    // on instead. A minimized or hidden owner leaves it where the system put it.
    HWND parent = GetParent(box);
    const bool ownerShown = !parent || (IsWindowVisible(parent) && !IsIconic(parent));
    if (parent) {
        GetWindowRect(parent, &rc);
    } else {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor)) rc = monitor.rcWork;
    }

    const auto position =
        PlaceMessageBoxOnScreen(boxRect, ToScreenRect(rc), ownerShown, lMsgX, lMsgY, &MonitorWorkArea);
    if (!position) return;
    SetWindowPos(box, nullptr, position->x, position->y, 0, 0, kPlacementFlags);
    if (hMsgIcon != nullptr) {
        HWND iconControl = FindWindowExA(box, nullptr, kIconControlClass, nullptr);
        SendMessageA(iconControl, STM_SETICON, reinterpret_cast<WPARAM>(hMsgIcon), 0);
    }
}

// Acts on the first activation of a dialog-class window (the box), then
// removes itself. Always returns the next hook's result, so it never vetoes.
LRESULT CALLBACK MsgBoxHookProc(int nCode, WPARAM wParam, LPARAM lParam) noexcept {
    const LRESULT result = CallNextHookEx(hHook.get(), nCode, wParam, lParam);
    if (nCode != HCBT_ACTIVATE) return result;
    HWND box = reinterpret_cast<HWND>(wParam);
    try {
        if (!IsDialogClass(box)) return result;  // stays armed for the box
        PlaceAndDecorate(box);
    } catch (...) {
        // Nothing may unwind into the system's caller; the box opens unplaced.
    }
    hHook.reset();
    return result;
}

}  // namespace

std::int32_t MsgBoxEx(const std::wstring& Prompt, std::int32_t Buttons, const std::wstring& Title, std::int32_t xPos,
                      std::int32_t yPos, HICON hIcon, HWND owner) {
    std::wstring prompt = Prompt;
    std::wstring title = Title;

    // A thread hook in this module: no module handle (Windows wants NULL here).
    HookHandle installed(SetWindowsHookExA(WH_CBT, MsgBoxHookProc, nullptr, GetCurrentThreadId()));
    lMsgX = xPos;
    hHook = std::move(installed);
    lMsgY = yPos;
    hMsgIcon = hIcon;
    // The hook removes itself when the box activates. If the box never came up
    // (it could not be created) or anything below throws, remove it here, so
    // no hook outlives this call and a later dialog is not moved.
    struct Disarm {
        ~Disarm() { hHook.reset(); }
    } disarm;

    if (title == kAppTitleSentinel) title = ApplicationTitle();

    std::int32_t style = Buttons;
    if (hMsgIcon != nullptr) style |= MB_ICONINFORMATION;  // gives the box the icon control to reuse

    return MessageBoxW(owner != nullptr ? owner : GetActiveWindow(), prompt.c_str(), title.c_str(),
                       static_cast<UINT>(style));
}

}  // namespace gt3
