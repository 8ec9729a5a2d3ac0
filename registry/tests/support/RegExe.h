#pragma once
// Wine's (or Windows') own reg.exe, run from a test to seed or check the registry
// independently of the code under test. Windows only.

#include <cstdio>
#include <string>

namespace gt3::test {

// Which registry view reg.exe works in. On 64-bit Windows a 32-bit program (the
// messenger host, GT3ErrLog.exe and these tests) that opens HKLM\SOFTWARE without
// asking for a view gets the 32-bit one: k32. k64 is what 64-bit programs see.
enum class RegView { k32, k64 };

// A command line's output, run as cmd.exe runs it; lines ending in LF.
inline std::string CommandOutput(const std::string& command) {
    std::string output;
    FILE* pipe = _popen(command.c_str(), "r");
    if (!pipe) return output;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe))
        for (const char* c = line; *c; ++c)
            if (*c != '\r') output += *c;
    _pclose(pipe);
    return output;
}

// reg.exe's output, lines ending in LF.
inline std::string RegExe(const std::string& arguments, RegView view) {
    return CommandOutput("C:\\windows\\system32\\reg.exe " + arguments +
                         (view == RegView::k32 ? " /reg:32" : " /reg:64"));
}

}  // namespace gt3::test
