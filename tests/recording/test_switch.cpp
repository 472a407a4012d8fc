#include "widgets/Switch.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

namespace {

TEST(Switch, ClickTurnsItOverAndReports) {
    zv::Switch sw;
    sw.resize(26, 40);
    sw.show();
    QSignalSpy clicks(&sw, &zv::Switch::clicked);
    EXPECT_FALSE(sw.stateOn());
    QTest::mouseClick(&sw, Qt::LeftButton);
    EXPECT_TRUE(sw.stateOn());
    QTest::keyClick(&sw, Qt::Key_Space);
    EXPECT_FALSE(sw.stateOn());
    EXPECT_EQ(clicks.count(), 2);
    QTest::mouseClick(&sw, Qt::RightButton);
    EXPECT_EQ(clicks.count(), 2);
}

TEST(Switch, SettingFromCodeIsSilent) {
    zv::Switch sw;
    QSignalSpy clicks(&sw, &zv::Switch::clicked);
    sw.setStateOn(true);
    EXPECT_TRUE(sw.stateOn());
    sw.setStateOn(true);
    sw.setStateOn(false);
    EXPECT_FALSE(sw.stateOn());
    EXPECT_EQ(clicks.count(), 0);
}

TEST(Switch, KnobMovesWithTheState) {
    zv::Switch sw;
    sw.resize(26, 40);
    const QImage off = sw.grab().toImage();
    sw.setStateOn(true);
    const QImage on = sw.grab().toImage();
    EXPECT_NE(off, on);
}

}  // namespace
