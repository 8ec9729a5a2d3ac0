// Narrow text on Windows: the ANSI code page, through the platform's own conversion.
// Lengths are always passed explicitly, so embedded NULs convert like any other
// character and no input is assumed to be NUL-terminated.

#include <windows.h>

#include <climits>
#include <stdexcept>

#include "NarrowText.h"

namespace gt3 {

namespace {

int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) throw std::length_error("text too long to convert");
    return static_cast<int>(size);
}

// With a UTF-8 ANSI code page (a Windows 10+ option) WideCharToMultiByte refuses
// WC_NO_BEST_FIT_CHARS and the used-default-char flag; there every valid text has a
// narrow form and only unpaired surrogates fail, which WC_ERR_INVALID_CHARS reports.
bool AnsiIsUtf8() noexcept { return GetACP() == CP_UTF8; }

// Converts with the given flags. usedDefault (optional) reports whether a character had
// no narrow form. An empty result for a non-empty input means the call failed.
std::string Narrow(std::wstring_view text, DWORD flags, BOOL* usedDefault) {
    if (text.empty()) return {};
    const int length = CheckedLength(text.size());
    const int needed = WideCharToMultiByte(CP_ACP, flags, text.data(), length, nullptr, 0, nullptr, usedDefault);
    if (needed <= 0) return {};
    std::string out(static_cast<std::size_t>(needed), '\0');
    if (usedDefault) *usedDefault = FALSE;
    const int written = WideCharToMultiByte(CP_ACP, flags, text.data(), length, out.data(), needed, nullptr, usedDefault);
    out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return out;
}

}  // namespace

// Best-fit mapping is switched off: a character without a narrow form becomes '?'
// instead of a look-alike, so both builds treat unmappable text the same way.
std::string ToNarrow(std::wstring_view text) {
    return Narrow(text, AnsiIsUtf8() ? 0 : WC_NO_BEST_FIT_CHARS, nullptr);
}

std::optional<std::string> ToNarrowExact(std::wstring_view text) {
    if (text.empty()) return std::string();
    std::string narrow;
    if (AnsiIsUtf8()) {
        narrow = Narrow(text, WC_ERR_INVALID_CHARS, nullptr);
    } else {
        BOOL usedDefault = FALSE;
        narrow = Narrow(text, WC_NO_BEST_FIT_CHARS, &usedDefault);
        if (usedDefault) return std::nullopt;
    }
    if (narrow.empty()) return std::nullopt;
    // The code page may still map a character to bytes that read back as another one
    // (some double-byte pages); only a text that comes back unchanged is exact.
    if (FromNarrow(narrow) != text) return std::nullopt;
    return narrow;
}

std::wstring FromNarrow(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int length = CheckedLength(bytes.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring out(static_cast<std::size_t>(needed), L'\0');
    const int written = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, out.data(), needed);
    out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return out;
}

}  // namespace gt3
