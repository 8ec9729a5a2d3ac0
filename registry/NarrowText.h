#pragma once
// Wide <-> narrow text in the system code page. On Windows that is the ANSI code
// page; the portable build uses Windows-1252 so that results are the same on every
// machine.

#include <optional>
#include <string>
#include <string_view>

namespace gt3 {

// Narrow form of a text; characters without a narrow form become '?', as the
// platform's own conversion does. Used for value data.
std::string ToNarrow(std::wstring_view text);

// Narrow form only when every character round-trips unchanged; nullopt otherwise.
// Used for key paths and value names, where a replaced character would address a
// different key than the caller named.
std::optional<std::string> ToNarrowExact(std::wstring_view text);

// Wide form of narrow bytes; NUL bytes become NUL characters and stay in the text.
std::wstring FromNarrow(std::string_view bytes);

// Case folding used wherever names compare without regard to case (registry
// names, Collection keys). Simple one-to-one folding of single characters.
wchar_t FoldCase(wchar_t c) noexcept;
std::wstring FoldCase(std::wstring_view text);

}  // namespace gt3
