#pragma once

// Stand-ins for the platform services, for tests: each answers from fields that the test sets
// and records what it was asked.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/FreeSpace.h"
#include "platform/ProcessStart.h"
#include "platform/ScreenCapture.h"
#include "platform/WindowList.h"

namespace zvtest {

// hands out a picture of its own, of one colour until told otherwise.
class FakeScreenSource : public zv::ScreenSource {
public:
    FakeScreenSource(int width, int height, uint32_t colour = 0)
        : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, colour) {}
    zv::ScreenImage grab() override {
        ++grabs_;
        if (!failure_.empty())
            throw zv::Error(failure_);
        return {pixels_.data(), width_, height_, static_cast<size_t>(width_)};
    }
    const char *method() const override { return "fake"; }
    std::vector<uint32_t> &pixels() { return pixels_; }
    void fill(uint32_t colour) { pixels_.assign(pixels_.size(), colour); }
    // A non-empty text makes every grab fail with it.
    void failWith(std::string text) { failure_ = std::move(text); }
    int grabs() const { return grabs_; }

private:
    int width_;
    int height_;
    std::vector<uint32_t> pixels_;
    std::string failure_;
    int grabs_ = 0;
};

// a list set by hand; sendQuit records the window and answers whether it is listed.
class FakeWindowList : public zv::WindowList {
public:
    std::vector<zv::TopLevelWindow> windows() override {
        ++reads;
        return list;
    }
    bool sendQuit(uint32_t window) override {
        quitSent.push_back(window);
        for (const zv::TopLevelWindow &w : list) {
            if (w.id == window)
                return true;
        }
        return false;
    }
    std::optional<std::string> textProperty(uint32_t window, const std::string &name) override {
        auto found = properties.find({window, name});
        if (found == properties.end())
            return std::nullopt;
        return found->second;
    }

    std::vector<zv::TopLevelWindow> list;
    std::map<std::pair<uint32_t, std::string>, std::string> properties;  // (window, name) -> text
    std::vector<uint32_t> quitSent;
    int reads = 0;
};

// records what it was asked to start and answers result.
class FakeProcessStarter : public zv::ProcessStarter {
public:
    bool startDetached(const std::string &nativeProgram) override {
        started.push_back(nativeProgram);
        return result;
    }

    std::vector<std::string> started;
    bool result = true;
};

// the same answer for every path, and the last path asked about.
class FakeFreeSpace : public zv::FreeSpaceSource {
public:
    std::optional<int64_t> freeBytes(std::string_view path) override {
        lastPath = path;
        return bytes;
    }

    std::optional<int64_t> bytes;
    std::string lastPath;
};

// time moves only when told to, sleeps advance it at once.
class FakeClock : public zv::Clock {
public:
    explicit FakeClock(uint32_t start = 0) : now_(start) {}
    uint32_t tickCount() override { return now_; }
    void sleepMs(uint32_t ms) override {
        now_ += ms;
        slept_ += ms;
    }
    void advance(uint32_t ms) { now_ += ms; }
    uint64_t totalSlept() const { return slept_; }

private:
    uint32_t now_;
    uint64_t slept_ = 0;
};

// entries in memory; with refuseWrites every add and remove throws, as a folder
// without write rights does.
class FakeAutostart : public zv::AutostartStore {
public:
    void add(const std::string &name, const std::string &nativeProgram) override;
    void remove(const std::string &name) override;
    bool contains(const std::string &name) override { return entries.count(name) != 0; }

    std::map<std::string, std::string> entries;  // name -> program
    bool refuseWrites = false;
};

}  // namespace zvtest
