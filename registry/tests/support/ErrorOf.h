#pragma once
// The error number a call raised, for tests of the run-time errors.

#include <gtest/gtest.h>

#include "registry/Errors.h"

namespace gt3::test {

// Runs f and returns the error number it raised; fails the test if it raised none.
template <typename F>
ErrorNumber ErrorOf(F&& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    ADD_FAILURE() << "no RuntimeError raised";
    return ErrorNumber{};
}

}  // namespace gt3::test
