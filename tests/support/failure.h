#pragma once

#include "common/error.h"

#include <string>

namespace kaviro::test {

// The message of the exception of type E that the statement raises, or
// "(kein Fehler)".
template <typename E = Error, typename F>
std::string failureOf(F &&statement)
{
    try {
        statement();
    } catch (const E &e) {
        return e.what();
    }
    return "(kein Fehler)";
}

} // namespace kaviro::test
