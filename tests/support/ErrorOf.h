#pragma once

#include <functional>
#include <string>

#include "platform/Error.h"

namespace zvtest {

// The message of the zv::Error that action raises, or "(no error)".
inline std::string errorOf(const std::function<void()> &action) {
    try {
        action();
    } catch (const zv::Error &e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace zvtest
