// The yardstick for the start-up benchmark: GT3ErrLog.exe's window built the
// classic way, as a modal dialog from a template, so that the comparison asks
// whether the program's own window code costs more than the platform's dialog
// manager doing the same job.
//
// Same as the real window: the controls of the design table (app/Layout.h) in
// its tab order, its sizes (converted to dialog units of the dialog's font), its
// three fonts, its colours, the icon, logo and common-controls-6 manifest of
// app/res, and the accounts listed by the form's own Form_Load over the platform
// registry. Different, as in any dialog: the dialog manager creates the window,
// the controls and the buttons' font, loads the logo into its static, centres
// the window and runs the modal loop.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "app/DesignGdi_win32.h"
#include "app/FormControls.h"
#include "app/FormMain.h"
#include "app/Layout.h"
#include "app/MainWindow_win32.h"
#include "app/Texts.h"
#include "app/Win32Handles.h"
#include "app/res/resource.h"
#include "registry/Win32RegistryStore.h"

namespace {

using namespace gt3::app;
using layout::Control;
using layout::Kind;

// The real window's frame and control ids.
constexpr DWORD kStyle = MainWindow::kStyle | DS_SETFONT | DS_CENTER;
constexpr DWORD kExStyle = MainWindow::kExStyle;

constexpr WORD ItemId(Control id) { return static_cast<WORD>(MainWindow::ControlId(id)); }

// The dialog's own font is the buttons' (Verdana 8.25 pt). A template holds whole
// points; 8 pt gives the same pixel height at 96 dpi (11 px), where we measure.
constexpr WORD kDialogPoints = 8;

struct BaseUnits {
    int x = 0, y = 0;
};

// Dialog units per pixel for the dialog's font, worked out as the dialog manager
// does (mean width of the 52 letters, and the line height), so that sizes given
// in pixels land on the same pixels once the template is laid out.
BaseUnits MeasureBaseUnits(int dpi) {
    const FontHandle font = MakeDesignFont(layout::kWindowFont, -MulDiv(kDialogPoints, dpi, 72));
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font.get());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SIZE letters{};
    GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return {(letters.cx / 26 + 1) / 2, metrics.tmHeight};
}

// An in-memory DLGTEMPLATEEX: words appended in the layout the dialog manager reads.
class TemplateWriter {
public:
    void Word(WORD w) { words_.push_back(w); }
    void Dword(DWORD d) {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void Text(std::wstring_view text) {
        words_.insert(words_.end(), text.begin(), text.end());
        Word(0);
    }
    void Ordinal(WORD value) {
        Word(0xFFFF);
        Word(value);
    }
    void AlignToDword() {
        if (words_.size() % 2) Word(0);
    }
    void Rect(const layout::PixelRect& r, BaseUnits units) {
        Word(static_cast<WORD>(MulDiv(r.left, 4, units.x)));
        Word(static_cast<WORD>(MulDiv(r.top, 8, units.y)));
        Word(static_cast<WORD>(MulDiv(r.width, 4, units.x)));
        Word(static_cast<WORD>(MulDiv(r.height, 8, units.y)));
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    std::vector<WORD> words_;
};

TemplateWriter BuildTemplate(int dpi, BaseUnits units) {
    TemplateWriter t;
    // Client area: the design's width, and the height left inside the collapsed
    // outer height Form_Load sets.
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    const layout::PixelRect client{0, 0, layout::TwipsToPixels(layout::kClientWidth, dpi),
                                   layout::TwipsToPixels(layout::kCollapsedHeight, dpi) - (frame.bottom - frame.top)};
    t.Word(1);       // dlgVer
    t.Word(0xFFFF);  // signature: extended template
    t.Dword(0);      // helpID
    t.Dword(kExStyle);
    t.Dword(kStyle);
    t.Word(static_cast<WORD>(layout::kControls.size()));
    t.Rect(client, units);
    t.Word(0);  // no menu
    t.Word(0);  // the dialog class
    t.Text(text::kWindowCaption);
    t.Word(kDialogPoints);
    t.Word(static_cast<WORD>(layout::kWindowFont.weight));
    t.Word(MAKEWORD(FALSE, ANSI_CHARSET));  // italic, charset
    t.Text(layout::kWindowFont.face);

    for (const auto& design : layout::kControls) {
        DWORD style = WS_CHILD | (design.visibleAtLoad ? WS_VISIBLE : 0);
        WORD itemClass = 0x0082;  // static
        layout::PixelRect r = layout::ToPixels(design.rect, dpi);
        switch (design.kind) {
        case Kind::Image: style |= SS_BITMAP | SS_CENTERIMAGE; break;
        case Kind::Label: style |= SS_CENTER | SS_NOPREFIX; break;
        case Kind::Combo:
            itemClass = 0x0085;
            style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
            // A combo box's template height is the dropped-down list's.
            r.height = MainWindow::ComboWindowHeight(r.height, MainWindow::ComboFieldHeight(r.height));
            break;
        case Kind::Button:
            itemClass = 0x0080;
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        }
        t.AlignToDword();
        t.Dword(0);  // helpID
        t.Dword(0);  // exStyle
        t.Dword(style);
        t.Rect(r, units);
        t.Dword(ItemId(design.id));
        t.Ordinal(itemClass);
        if (design.kind == Kind::Image)
            t.Ordinal(IDB_LOGO);  // the static loads the bitmap from the exe's resources
        else
            t.Text(design.text);
        t.Word(0);  // no creation data
    }
    return t;
}

// --- The form's parts over the dialog's items -----------------------------------

class DialogWindow final : public FormWindow {
public:
    HWND hwnd = nullptr;
    int dpi = USER_DEFAULT_SCREEN_DPI;
    IconHandleOwner icon;

    void SetHeight(std::int32_t twips) override {
        RECT r{};
        GetWindowRect(hwnd, &r);
        SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, layout::TwipsToPixels(twips, dpi),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    IconHandle Icon() const override { return reinterpret_cast<IconHandle>(icon.get()); }
};

class DialogItem final : public LabelControl, public ButtonControl {
public:
    HWND hwnd = nullptr;
    void SetCaption(std::wstring_view caption) override { SetWindowTextW(hwnd, std::wstring(caption).c_str()); }
    void SetVisible(bool visible) override { ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE); }
    void SetEnabled(bool enabled) override { EnableWindow(hwnd, enabled); }
};

class DialogCombo final : public ComboControl {
public:
    HWND hwnd = nullptr;
    void AddItem(std::wstring_view item) override {
        SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::wstring(item).c_str()));
    }
    void Reserve(std::size_t items) override {
        SendMessageW(hwnd, CB_INITSTORAGE, items, static_cast<LPARAM>(items * 64));
    }
    void Clear() override { SendMessageW(hwnd, CB_RESETCONTENT, 0, 0); }
    void Select(std::ptrdiff_t index) override { SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
    std::wstring Text() const override { return {}; }  // nothing is picked before the first idle
};

// Loading never shows a box or broadcasts; these only complete the form's parts.
class NoBox final : public MessageDialog {
public:
    std::int32_t Show(std::wstring_view, std::int32_t, std::wstring_view, std::int32_t, std::int32_t,
                      IconHandle) override {
        return IDOK;
    }
};

class NoBroadcast final : public Broadcaster {
public:
    std::uint32_t RegisterMessage(std::string_view) override { return 0; }
    bool Post(std::uint32_t) override { return false; }
};

class AccountsDialog {
public:
    AccountsDialog(HINSTANCE instance, int dpi) : instance_(instance) { window_.dpi = dpi; }

    INT_PTR OnInit(HWND dlg) {
        window_.hwnd = dlg;
        window_.icon.reset(
            static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_GT3ERRLOG), IMAGE_ICON, 0, 0, 0)));
        SendMessageW(dlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(window_.icon.get()));
        SendMessageW(dlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(window_.icon.get()));
        background_.reset(CreateSolidBrush(ToColorRef(layout::kWhite)));

        // The dialog's font serves the buttons; the labels and the combo box get theirs.
        smallFont_ = MakeDesignFont(layout::kSmallFont, layout::FontHeightPixels(layout::kSmallFont, window_.dpi));
        stateFont_ = MakeDesignFont(layout::kStateFont, layout::FontHeightPixels(layout::kStateFont, window_.dpi));
        for (const auto& design : layout::kControls) {
            const HFONT font = design.font == &layout::kSmallFont   ? smallFont_.get()
                               : design.font == &layout::kStateFont ? stateFont_.get()
                                                                     : nullptr;
            if (font) SendMessageW(GetDlgItem(dlg, ItemId(design.id)), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
        // The closed field as tall as designed, as the real window makes it.
        combo_.hwnd = GetDlgItem(dlg, ItemId(Control::comEmail));
        const auto field = layout::ToPixels(layout::Design(Control::comEmail).rect, window_.dpi).height;
        SendMessageW(combo_.hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), MainWindow::ComboFieldHeight(field));

        lblLog_.hwnd = GetDlgItem(dlg, ItemId(Control::lblLog));
        cmdEnable_.hwnd = GetDlgItem(dlg, ItemId(Control::cmdEnable));
        cmdDisable_.hwnd = GetDlgItem(dlg, ItemId(Control::cmdDisable));
        cmdReload_.hwnd = GetDlgItem(dlg, ItemId(Control::cmdReload));
        form_.Form_Load();
        return TRUE;  // the dialog manager focuses the first tab stop, the combo box
    }

    // Colours as the real window's: orange and red labels on white, the combo box
    // (its field and its list) in blue.
    INT_PTR OnControlColour(HWND dlg, HDC dc, HWND control) {
        SetBkColor(dc, ToColorRef(layout::kWhite));
        if (control == dlg) return reinterpret_cast<INT_PTR>(background_.get());
        const HWND item = GetParent(control) == dlg ? control : combo_.hwnd;  // the combo's field or list
        Kind kind = Kind::Button;
        for (const auto& design : layout::kControls) {
            if (ItemId(design.id) != GetDlgCtrlID(item)) continue;
            kind = design.kind;
            if (kind == Kind::Label || kind == Kind::Combo) SetTextColor(dc, ToColorRef(design.foreground));
        }
        SetBkMode(dc, kind == Kind::Label ? TRANSPARENT : OPAQUE);
        return reinterpret_cast<INT_PTR>(background_.get());
    }

private:
    HINSTANCE instance_;
    DialogWindow window_;
    DialogCombo combo_;
    DialogItem lblLog_, cmdEnable_, cmdDisable_, cmdReload_;
    NoBox box_;
    NoBroadcast broadcaster_;
    FormMain form_{gt3::PlatformRegistryStore(),
                   FormParts{window_, combo_, lblLog_, cmdEnable_, cmdDisable_, cmdReload_, box_, broadcaster_}};
    BrushHandle background_;
    FontHandle smallFont_, stateFont_;
};

INT_PTR CALLBACK DialogProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<AccountsDialog*>(GetWindowLongPtrW(dlg, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        return reinterpret_cast<AccountsDialog*>(lParam)->OnInit(dlg);
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
        return self ? self->OnControlColour(dlg, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam))
                    : FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) EndDialog(dlg, 0);  // WM_CLOSE arrives as this
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);

    const TemplateWriter dialogTemplate = BuildTemplate(dpi, MeasureBaseUnits(dpi));
    AccountsDialog dialog(instance, dpi);
    return static_cast<int>(DialogBoxIndirectParamW(instance, dialogTemplate.Get(), nullptr, DialogProc,
                                                    reinterpret_cast<LPARAM>(&dialog)));
}
