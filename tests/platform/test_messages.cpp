#include "platform/Messages.h"

#include "platform/Error.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

using Shown = std::vector<std::pair<std::string, zv::MessageKind>>;

TEST(Messages, ScopedHandlerReceivesAndRestores) {
    Shown outer, inner;
    {
        zv::ScopedMessageHandler a(
            [&](const std::string &t, zv::MessageKind k) { outer.emplace_back(t, k); });
        zv::showMessage("первое");
        {
            zv::ScopedMessageHandler b(
                [&](const std::string &t, zv::MessageKind k) { inner.emplace_back(t, k); });
            zv::showMessage("второе", zv::MessageKind::TopMost);
        }
        zv::showMessage("третье");
    }
    EXPECT_EQ(outer,
              (Shown{{"первое", zv::MessageKind::Plain}, {"третье", zv::MessageKind::Plain}}));
    EXPECT_EQ(inner, (Shown{{"второе", zv::MessageKind::TopMost}}));
}

TEST(Messages, WithoutHandlerTextGoesToStderr) {
    testing::internal::CaptureStderr();
    zv::showMessage("Ошибка\rтекст");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Ошибка\rтекст\n");
}

TEST(Messages, HandlerMayReplaceItselfWhileRunning) {
    Shown later;
    zv::MessageHandler second = [&](const std::string &t, zv::MessageKind k) {
        later.emplace_back(t, k);
    };
    int firstCalls = 0;
    zv::ScopedMessageHandler guard([&](const std::string &, zv::MessageKind) {
        ++firstCalls;
        zv::setMessageHandler(second);  // destroys the running handler's stored copy
    });
    zv::showMessage("a");
    zv::showMessage("b");
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(later, (Shown{{"b", zv::MessageKind::Plain}}));
}

TEST(Messages, FailuresOfAHandlersWorkAreShownWithItsPrefixAndNothingEscapes) {
    Shown shown;
    zv::ScopedMessageHandler guard(
        [&](const std::string &t, zv::MessageKind k) { shown.emplace_back(t, k); });
    EXPECT_TRUE(zv::showFailureOf([] {}, "Ошибка экспорта: "));
    EXPECT_FALSE(zv::showFailureOf([] { throw zv::Error("Недопустимые границы экспорта"); },
                                   "Ошибка экспорта: ", zv::MessageKind::TopMost));
    EXPECT_FALSE(zv::showFailureOf([] { throw std::bad_alloc(); }));
    EXPECT_FALSE(zv::showFailureOf([] { throw 42; }));
    EXPECT_EQ(shown,
              (Shown{{"Ошибка экспорта: Недопустимые границы экспорта", zv::MessageKind::TopMost},
                     {"Недостаточно памяти", zv::MessageKind::Plain},
                     {"Неизвестная ошибка", zv::MessageKind::Plain}}));
}
