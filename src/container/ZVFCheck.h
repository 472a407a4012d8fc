#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/File.h"

namespace zvf {

// Verifies the invariants of the format on a file as it stands: a count in 0..499,900 whose
// entries the file holds; every entry naming a readable frame (zvf::frameFault: a size above 0 and
// at most 256 MB, an offset of 0 or more, frame bytes inside the file); date-times that are finite
// and do not fall with the index (zvf::dateFault). One Russian line per problem (entries are named
// by index), empty when the file is sound. At most maxProblems lines are returned; problems counts
// them all. Frames are not decoded. The range export accepts exactly what this accepts of the
// entries it copies.
struct CheckResult {
    std::vector<std::string> lines;
    int64_t problems = 0;
};

// fileName as the operator sees it (a drive path is mapped), reached through files. Throws
// zv::Error when the file cannot be opened or read; a missing file is not created.
CheckResult checkFile(const std::string &fileName, size_t maxProblems = SIZE_MAX,
                      zv::FileSystem &files = zv::localFileSystem());

}  // namespace zvf
