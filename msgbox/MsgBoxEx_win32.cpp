#include "msgbox/MsgBoxEx.h"

#include <winver.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

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

// The internal name in the program's version record, if it has one.
std::optional<std::wstring> InternalName() {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16) /* RT_VERSION */);
    HGLOBAL loaded = found ? LoadResource(self, found) : nullptr;
    const void* record = loaded ? LockResource(loaded) : nullptr;
    if (!record) return std::nullopt;
    // VerQueryValue may write into the block it reads, and a resource is read-only.
    const auto* bytes = static_cast<const std::uint8_t*>(record);
    std::vector<std::uint8_t> copy(bytes, bytes + SizeofResource(self, found));

    struct Translation {
        WORD language, codePage;
    };
    Translation* translations = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(copy.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                        &length) ||
        length < sizeof(Translation))
        return std::nullopt;
    wchar_t query[64];
    swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\InternalName", translations->language,
             translations->codePage);
    wchar_t* name = nullptr;
    if (!VerQueryValueW(copy.data(), query, reinterpret_cast<void**>(&name), &length) || length == 0) return std::nullopt;
    std::wstring text(name, length);
    text.resize(std::wcslen(text.c_str()));  // the length may count the NUL
    if (text.empty()) return std::nullopt;
    return text;
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

// Places the activated box by the placement rule and shows the requested icon.
// An arithmetic overflow leaves the box where the system put it, standard icon.
void PlaceAndDecorate(HWND box) {
    RECT rc{};
    GetWindowRect(box, &rc);
    const ScreenRect boxRect = ToScreenRect(rc);

    // Centred over the owner. An ownerless box (nothing was active) is centred
    // on the work area of the monitor it opened on instead.
    if (HWND parent = GetParent(box)) {
        GetWindowRect(parent, &rc);
    } else {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor)) rc = monitor.rcWork;
    }

    const auto position = PlaceMessageBox(boxRect, ToScreenRect(rc), lMsgX, lMsgY);
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

    HookHandle installed(SetWindowsHookExA(WH_CBT, MsgBoxHookProc, GetModuleHandleW(nullptr), GetCurrentThreadId()));
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
