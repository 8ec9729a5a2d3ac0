#pragma once
// Run-time errors raised to callers of the registry class, Variant and Collection.
// Numbers follow the classic run-time error numbering so that the message the
// program shows when an error ends it reads the way users of such tools expect.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace gt3 {

enum class ErrorNumber : std::int32_t {
    InvalidProcedureCall = 5,
    Overflow = 6,
    SubscriptOutOfRange = 9,
    TypeMismatch = 13,
    DuplicateKey = 457,
};

class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(ErrorNumber number);
    ErrorNumber number() const noexcept { return number_; }

private:
    ErrorNumber number_;
};

// The standard description of an error number ("Overflow", "Type mismatch", ...).
const char* Describe(ErrorNumber number) noexcept;

}  // namespace gt3
