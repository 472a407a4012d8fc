#pragma once

#include <stdexcept>
#include <string>

namespace zv {

// The one exception class of the module. The message is UTF-8 and is shown to the operator as it
// stands (the Russian texts of the system), with the prefix of the window that caught it.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace zv
