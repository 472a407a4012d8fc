// Programs started detached: a session of their own, no standard streams of ours, not our child.
#include "platform/ProcessStart.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "support/TempRoot.h"

namespace {

namespace fs = std::filesystem;

TEST(ProcessStart, DetachedInASessionOfItsOwn) {
    zvtest::TempRoot root;
    const std::string report = root.file("report");
    const std::string program = root.file("with blank/recorder");
    zvtest::writeFile(program,
                      "#!/bin/sh\n"
                      "set -- $(cut -d' ' -f4,6 /proc/$$/stat)\n"
                      "echo $$ $1 $2 $(readlink /proc/$$/fd/0) $(readlink /proc/$$/fd/1) > '" +
                          report +
                          ".part'\n"
                          "mv '" +
                          report + ".part' '" + report + "'\n");
    fs::permissions(program, fs::perms::owner_all);
    ASSERT_TRUE(zv::systemProcessStarter().startDetached(program));
    for (int i = 0; i < 500 && !fs::exists(report); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(fs::exists(report));
    std::istringstream in(zvtest::readFile(report));
    int pid = 0, parent = 0, session = 0;
    std::string input, output;
    in >> pid >> parent >> session >> input >> output;
    EXPECT_NE(parent, ::getpid());
    EXPECT_NE(session, ::getsid(0));
    EXPECT_EQ(input, "/dev/null");
    EXPECT_EQ(output, "/dev/null");
}

TEST(ProcessStart, AProgramThatCannotRunIsReported) {
    zvtest::TempRoot root;
    EXPECT_FALSE(zv::systemProcessStarter().startDetached(root.file("missing")));
    zvtest::writeFile(root.file("plain"), "not a program");
    EXPECT_FALSE(zv::systemProcessStarter().startDetached(root.file("plain")));
}

}  // namespace
