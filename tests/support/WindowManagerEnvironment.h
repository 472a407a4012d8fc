#pragma once

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

#include "support/TestWindows.h"

namespace zvtest {

// openbox for the whole test program, with its files in a folder of its own: full-window mode,
// activation and frames go through a window manager. Register it once per program:
//     const auto *const kWindowManager =
//         ::testing::AddGlobalTestEnvironment(new zvtest::WindowManagerEnvironment);
class WindowManagerEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "no X display (run under xvfb-run)";
        ASSERT_TRUE(home_.isValid());
        manager_ = std::make_unique<WindowManager>(home_.path().toStdString());
    }
    void TearDown() override { manager_.reset(); }

private:
    QTemporaryDir home_;
    std::unique_ptr<WindowManager> manager_;
};

}  // namespace zvtest
