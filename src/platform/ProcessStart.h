#pragma once

#include <string>
#include <vector>

namespace zv {

// Starts programs that outlive the module and its host, in place of the shell's "open".
class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    // Starts nativeProgram with no arguments, detached: in a session of its own, with no
    // standard input or output, not a child of the caller. False when it could not be started.
    // Never throws.
    virtual bool startDetached(const std::string &nativeProgram) = 0;
};

// The process-wide starter. Never null; lives for the whole process.
ProcessStarter &systemProcessStarter();

}  // namespace zv
