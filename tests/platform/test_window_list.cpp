// The X11 window list against a real display (xvfb-run), bare and under a reparenting window
// manager (openbox).
#include "platform/WindowList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "support/TempRoot.h"
#include "support/TestWindows.h"

namespace {

using zv::TopLevelWindow;

std::optional<TopLevelWindow> byId(const std::vector<TopLevelWindow> &list, uint32_t id) {
    for (const TopLevelWindow &w : list) {
        if (w.id == id)
            return w;
    }
    return std::nullopt;
}

ptrdiff_t position(const std::vector<TopLevelWindow> &list, uint32_t id) {
    auto it = std::find_if(list.begin(), list.end(), [id](const auto &w) { return w.id == id; });
    return it == list.end() ? -1 : it - list.begin();
}

class WindowListTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam())
            manager = std::make_unique<zvtest::WindowManager>(root.path());
    }
    // A mapped window is framed by the manager some time after it was mapped.
    uint32_t mappedWindow(const std::string &title) {
        const uint32_t id = windows.create(title, true);
        if (manager) {
            EXPECT_TRUE(windows.waitManaged(id));
        }
        return id;
    }

    zvtest::TempRoot root;
    std::unique_ptr<zvtest::WindowManager> manager;
    zvtest::TestWindows windows;
    std::unique_ptr<zv::WindowList> list = zv::makeX11WindowList();
};

TEST_P(WindowListTest, MappedAndUnmappedWindowsWithTheirClientIds) {
    const uint32_t shown = mappedWindow("Shown window");
    const uint32_t hidden = windows.create("ZorvideoService", false);
    const std::vector<TopLevelWindow> all = list->windows();
    // Under the manager the shown window lies inside a frame; the list names the client.
    ASSERT_TRUE(byId(all, shown)) << "mapped window missing";
    EXPECT_EQ(byId(all, shown)->title, "Shown window");
    ASSERT_TRUE(byId(all, hidden)) << "unmapped window missing";
    EXPECT_EQ(zv::findWindowByTitle(all, "zorvideoservice")->id, hidden);
    if (manager) {
        EXPECT_GT(all.size(), 2u) << "the manager's own windows are top-level windows too";
    }
}

TEST_P(WindowListTest, TopOfTheStackingOrderFirst) {
    // A new window goes on top of its siblings.
    const uint32_t first = windows.create("first", false);
    const uint32_t second = windows.create("second", false);
    const uint32_t third = windows.create("third", false);
    const std::vector<TopLevelWindow> all = list->windows();
    EXPECT_LT(position(all, third), position(all, second));
    EXPECT_LT(position(all, second), position(all, first));
    EXPECT_GE(position(all, first), 0);
}

TEST_P(WindowListTest, TitleSources) {
    std::string title;
    for (int i = 0; i < 200; ++i)
        title += "Ж";
    const uint32_t utf8 = windows.create(std::string("Запись"), std::string("ignored"), false);
    const uint32_t latin1 = windows.create(std::nullopt, std::string("Caf\xe9"), false);
    const uint32_t untitled = windows.create(std::nullopt, std::nullopt, false);
    const uint32_t cut = windows.create(title, std::nullopt, false);
    const uint32_t framed = mappedWindow("TempForm");
    const std::vector<TopLevelWindow> all = list->windows();
    EXPECT_EQ(byId(all, utf8)->title, "Запись");  // _NET_WM_NAME before WM_NAME
    EXPECT_EQ(byId(all, latin1)->title, "Café");
    EXPECT_EQ(byId(all, untitled)->title, "");
    std::string expected;
    for (int i = 0; i < zv::kMaxWindowTitle; ++i)
        expected += "Ж";
    EXPECT_EQ(byId(all, cut)->title, expected);
    EXPECT_EQ(byId(all, framed)->title, "TempForm");
}

TEST_P(WindowListTest, QuitMessageReachesTheWindow) {
    const uint32_t recorder = windows.create("ZorvideoService", false);
    const uint32_t temp = mappedWindow("TempForm");
    const auto target = zv::findWindowByTitle(list->windows(), "TEMPFORM");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->id, temp);
    ASSERT_TRUE(list->sendQuit(target->id));
    EXPECT_EQ(windows.waitDeleteWindow(30000), temp);

    windows.destroy(recorder);
    EXPECT_FALSE(list->sendQuit(recorder));
    EXPECT_FALSE(zv::findWindowByTitle(list->windows(), "ZorvideoService"));
    // The connection is still good after the refused request.
    EXPECT_TRUE(zv::findWindowByTitle(list->windows(), "TempForm"));
}

TEST_P(WindowListTest, ManyWindowsAllFound) {
    std::vector<uint32_t> ids;
    for (int i = 0; i < 60; ++i)
        ids.push_back(windows.create("Window " + std::to_string(i), i % 2 == 0));
    if (manager) {
        EXPECT_TRUE(windows.waitManaged(ids[58]));
    }
    const std::vector<TopLevelWindow> all = list->windows();
    for (int i = 0; i < 60; ++i) {
        ASSERT_TRUE(byId(all, ids[i])) << i;
        EXPECT_EQ(byId(all, ids[i])->title, "Window " + std::to_string(i));
    }
}

TEST_P(WindowListTest, FramesOfAManagerThatDoesNotListItsClients) {
    if (GetParam())
        GTEST_SKIP() << "openbox lists its clients";
    // A frame with a decoration above the client, the client one level further down, as some
    // managers nest them; and a root child that carries WM_STATE itself.
    const uint32_t frame = windows.create("frame", false);
    const uint32_t decoration = windows.create("decoration", true, frame);
    const uint32_t wrapper = windows.create(std::nullopt, std::nullopt, true, frame);
    const uint32_t client = windows.create("TempForm", true, wrapper);
    windows.markManaged(client);
    const uint32_t plain = windows.create("plain", false);
    windows.markManaged(plain);
    windows.create("child of plain", true, plain);
    const std::vector<TopLevelWindow> all = list->windows();
    ASSERT_TRUE(byId(all, client)) << "the client inside the frame";
    EXPECT_EQ(byId(all, client)->title, "TempForm");
    EXPECT_EQ(position(all, client), position(all, plain) + 1) << "in the place of its frame";
    EXPECT_FALSE(byId(all, frame));
    EXPECT_FALSE(byId(all, decoration));
    EXPECT_EQ(byId(all, plain)->title, "plain");
    ASSERT_TRUE(list->sendQuit(client));
    EXPECT_EQ(windows.waitDeleteWindow(30000), client);
}

INSTANTIATE_TEST_SUITE_P(Display, WindowListTest, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Openbox" : "Bare"; });

TEST(WindowListWithoutDisplay, EmptyAndNothingSent) {
    std::unique_ptr<zv::WindowList> list = zv::makeX11WindowList(":9876");
    EXPECT_TRUE(list->windows().empty());
    EXPECT_FALSE(list->sendQuit(1234));
}

TEST(WindowTitles, CaseAndLength) {
    const std::vector<TopLevelWindow> list = {
        {1, "ZorvideoService2"}, {2, "zorvideoservice"}, {3, "ZORVIDEOSERVICE"}, {4, "тempform"}};
    EXPECT_EQ(zv::findWindowByTitle(list, "ZorvideoService")->id, 2u);  // first from the top
    EXPECT_FALSE(zv::findWindowByTitle(list, "ZorvideoServic"));
    EXPECT_FALSE(zv::findWindowByTitle(list, "TempForm"));  // a Cyrillic т is not a T
    EXPECT_EQ(zv::findWindowByTitle({{5, "тЕМПФОРМ"}}, "ТемпФорм")->id, 5u);

    EXPECT_EQ(zv::windowTitleText("\xff\xfe", true), "ÿþ");
    // 126 plain characters and a character outside the basic plane stay whole at the end.
    const std::string wide = std::string(126, 'a') + "\xF0\x9F\x98\x80" + "b";
    EXPECT_EQ(zv::windowTitleText(wide), std::string(126, 'a') + "\xF0\x9F\x98\x80");
}

}  // namespace
