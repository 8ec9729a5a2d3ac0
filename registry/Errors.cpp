#include "Errors.h"

namespace gt3 {

namespace {
struct ErrorText {
    ErrorNumber number;
    const char* text;
};
constexpr ErrorText kErrorTexts[] = {
    {ErrorNumber::InvalidProcedureCall, "Invalid procedure call or argument"},
    {ErrorNumber::Overflow, "Overflow"},
    {ErrorNumber::SubscriptOutOfRange, "Subscript out of range"},
    {ErrorNumber::TypeMismatch, "Type mismatch"},
    {ErrorNumber::DuplicateKey, "This key is already associated with an element of this collection"},
};
}  // namespace

const char* Describe(ErrorNumber number) noexcept {
    for (const auto& entry : kErrorTexts)
        if (entry.number == number) return entry.text;
    return "Application-defined or object-defined error";
}

RuntimeError::RuntimeError(ErrorNumber number) : std::runtime_error(Describe(number)), number_(number) {}

}  // namespace gt3
