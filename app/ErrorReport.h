#pragma once
// The report shown when an error reaches an event handler and ends the program,
// worded as users of classic tools know it: "Run-time error '13':", a blank line,
// then the description.

#include <exception>
#include <string>

namespace gt3::app {

struct ErrorReport {
    std::wstring text;
    int exitCode = 1;  // the error number; never 0
};

ErrorReport DescribeError(std::exception_ptr error);

}  // namespace gt3::app
