#include "ErrorReport.h"

#include <new>

#include "Texts.h"
#include "registry/Errors.h"
#include "registry/NarrowText.h"

namespace gt3::app {

namespace {
constexpr int kOutOfMemoryNumber = 7;
constexpr int kInternalErrorNumber = 51;

ErrorReport Report(int number, std::wstring description) {
    std::wstring text(text::kRunTimeErrorPrefix);
    text += std::to_wstring(number);
    text += text::kRunTimeErrorSuffix;
    text += description;
    return {std::move(text), number};
}
}  // namespace

ErrorReport DescribeError(std::exception_ptr error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const RuntimeError& e) {
        return Report(static_cast<int>(e.number()), FromNarrow(Describe(e.number())));
    } catch (const std::bad_alloc&) {
        return Report(kOutOfMemoryNumber, std::wstring(text::kOutOfMemory));
    } catch (...) {
    }
    return Report(kInternalErrorNumber, std::wstring(text::kInternalError));
}

}  // namespace gt3::app
