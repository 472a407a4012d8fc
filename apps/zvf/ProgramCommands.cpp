// The commands that zvf hands to programs of their own (ZvfCommand::program): it lists them,
// answers their --help and checks their arguments without loading what they need.
#include "ExportUsage.h"
#include "TextUsage.h"
#include "ZvfCommand.h"

namespace {

void registerIn(const char *program, std::vector<ZvfCommand> commands) {
    for (ZvfCommand &command : commands) {
        command.program = program;
        registerZvfCommand(std::move(command));
    }
}

const bool kRegistered = [] {
    registerIn(kExportProgram, exportCommandUsages());
    registerIn(kTextProgram, {indexCommandUsage()});
    return true;
}();

}  // namespace
