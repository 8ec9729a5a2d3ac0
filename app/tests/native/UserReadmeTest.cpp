// The user's readme, which the release zip carries as README.txt beside the
// exe: plain text for Notepad, whose double quotes hold only the program's own
// texts, so that a changed text cannot leave the readme stale.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/Texts.h"

namespace gt3::app::test {
namespace {

// Runs of blanks and line ends as one blank: a quote may wrap, and the caption
// has two blanks on each side of its hyphen.
std::string OneLine(std::string_view text) {
    std::string line;
    for (const char c : text) {
        const bool blank = c == ' ' || c == '\r' || c == '\n';
        if (!blank) line += c;
        else if (!line.empty() && line.back() != ' ') line += ' ';
    }
    if (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// A text as the window shows it, an access key's "&" left out.
std::string AsShown(std::wstring_view text) {
    std::string shown;
    for (const wchar_t c : text) {
        EXPECT_LT(static_cast<unsigned>(c), 0x80u) << "the readme is ASCII; so must a text it quotes be";
        if (c != L'&') shown += static_cast<char>(c);
    }
    return shown;
}

// Every text the user can see, a text of several lines (the error state, the
// messages) line by line.
std::set<std::string> ShownTexts() {
    const std::wstring_view texts[] = {
        text::kWindowCaption,   text::kInstruction,      text::kEnableButton,     text::kDisableButton,
        text::kReloadButton,    text::kLoggingEnabled,   text::kLoggingDisabled,  text::kErrorReading,
        text::kBoxTitle,        text::kEnabledMessage,   text::kDisabledMessage,  text::kSaveFailedMessage,
        text::kReloadedMessage, text::kReloadFailedMessage,
    };
    std::set<std::string> shown;
    for (const std::wstring_view text : texts) {
        std::istringstream lines(AsShown(text));
        for (std::string line; std::getline(lines, line);)
            if (!OneLine(line).empty()) shown.insert(OneLine(line));
    }
    return shown;
}

std::string Readme() {
    std::ifstream file(GT3_USER_README, std::ios::binary);
    EXPECT_TRUE(file) << GT3_USER_README;
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(UserReadme, QuotesOnlyTheProgramsOwnTexts) {
    const std::string readme = Readme();
    const std::set<std::string> shown = ShownTexts();
    std::set<std::string> quoted;
    for (std::size_t open = readme.find('"'); open != std::string::npos; open = readme.find('"', open + 1)) {
        const std::size_t close = readme.find('"', open + 1);
        ASSERT_NE(close, std::string::npos) << "a quote that never closes, after: " << readme.substr(open, 40);
        const std::string quote = OneLine(readme.substr(open + 1, close - open - 1));
        EXPECT_EQ(shown.count(quote), 1u) << '"' << quote << "\" is none of the program's texts";
        quoted.insert(quote);
        open = close;
    }
    // What the readme has to explain: the three states and the refused switch.
    for (const std::wstring_view text : {text::kLoggingEnabled, text::kLoggingDisabled, text::kErrorReading,
                                         text::kSaveFailedMessage}) {
        const std::string first = AsShown(text.substr(0, text.find(L'\r')));
        EXPECT_EQ(quoted.count(first), 1u) << "the readme does not quote \"" << first << '"';
    }
}

// Notepad shows it as it is: no tabs, no Markdown marks, at most 80 columns.
TEST(UserReadme, IsPlainTextOfAtMost80Columns) {
    std::istringstream lines(Readme());
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        SCOPED_TRACE("line " + std::to_string(number) + ": " + line);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        EXPECT_LE(line.size(), 80u);
        for (const char c : line) EXPECT_TRUE(c >= ' ' && c <= '~') << "not printable ASCII: " << int(c);
        for (const char* mark : {"`", "**", "](", "__"}) EXPECT_EQ(line.find(mark), std::string::npos) << mark;
        EXPECT_NE(line.rfind('#', 0), 0u) << "a Markdown heading";
    }
    EXPECT_GT(number, 0);
}

}  // namespace
}  // namespace gt3::app::test
