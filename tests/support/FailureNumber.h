#pragma once

#include "db/error/DbError.h"

#include <functional>

// The number of the DbError an operation throws, 0 when it succeeds.
inline int failureNumber(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const DbError &e) {
        return e.number();
    }
    return 0;
}
