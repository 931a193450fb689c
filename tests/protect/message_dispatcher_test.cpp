#include "protect/message_dispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::protect {
namespace {

using ::testing::ElementsAre;

struct Recorder : MessageHandler {
  std::vector<std::string> calls;
  bool handleBefore = false;
  void handleMessage(bool before, bool& handled, MessageResult& result, WindowHandle, long message,
                     std::uintptr_t, std::intptr_t, std::intptr_t user) override {
    calls.push_back((before ? "before " : "after ") + std::to_string(message) + " user " +
                    std::to_string(user) + " result " + std::to_string(result));
    if (before && handleBefore) {
      handled = true;
      result = 42;
    }
  }
};

std::string errorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const DispatchError& error) {
    return error.what();
  }
  return {};
}

TEST(MessageDispatcherTest, DeliversBeforeOwnProcedureAndAfter) {
  MessageDispatcher dispatcher;
  Recorder owner;
  int own = 0;
  dispatcher.attach(7, owner, 5, true, [&](long, std::uintptr_t, std::intptr_t) {
    ++own;
    return MessageResult{9};
  });
  dispatcher.addMessage(7, kDeviceChangeMessage, MessageDispatcher::Both);
  dispatcher.addMessage(7, 15, MessageDispatcher::After);
  EXPECT_EQ(dispatcher.dispatch(7, kDeviceChangeMessage), 9);
  EXPECT_EQ(dispatcher.dispatch(7, 15), 9);
  EXPECT_EQ(dispatcher.dispatch(7, 16), 9); // not registered: the window's own procedure alone
  EXPECT_THAT(owner.calls, ElementsAre("before 537 user 5 result 0", "after 537 user 5 result 9",
                                       "after 15 user 5 result 9"));
  owner.handleBefore = true;
  owner.calls.clear();
  EXPECT_EQ(dispatcher.dispatch(7, kDeviceChangeMessage), 42);
  EXPECT_EQ(own, 3) << "a handled message does not reach the window's own procedure";

  dispatcher.removeMessage(7, kDeviceChangeMessage, MessageDispatcher::Both);
  owner.calls.clear();
  dispatcher.dispatch(7, kDeviceChangeMessage);
  EXPECT_TRUE(owner.calls.empty());
  dispatcher.addMessage(7, MessageDispatcher::kAllMessages, MessageDispatcher::After);
  dispatcher.dispatch(7, 1234);
  EXPECT_EQ(owner.calls.size(), 1u);
}

TEST(MessageDispatcherTest, TablesHoldThirtyTwoMessages) {
  MessageDispatcher dispatcher;
  Recorder owner;
  dispatcher.attach(1, owner);
  for (long message = 100; message < 132; ++message)
    dispatcher.addMessage(1, message, MessageDispatcher::After);
  dispatcher.addMessage(1, 100, MessageDispatcher::After); // already there: no new entry
  EXPECT_EQ(errorOf([&] { dispatcher.addMessage(1, 200, MessageDispatcher::After); }),
            "Message table overflow. Either increase the value of Const kMessagesPerTable or use "
            "kAllMessages instead of specific message values");
  dispatcher.addMessage(1, 200, MessageDispatcher::Before); // the other table has room
  dispatcher.removeMessage(1, 131, MessageDispatcher::After);
  dispatcher.addMessage(1, 200, MessageDispatcher::After); // a freed entry is used again
  dispatcher.addMessage(1, MessageDispatcher::kAllMessages, MessageDispatcher::After);
}

TEST(MessageDispatcherTest, MisuseIsReportedWithItsText) {
  MessageDispatcher dispatcher;
  Recorder owner;
  EXPECT_EQ(errorOf([&] { dispatcher.detach(3); }), "Subclassing hasn't been started");
  EXPECT_EQ(errorOf([&] { dispatcher.attach(0, owner); }), "Invalid window handle");
  dispatcher.attach(3, owner);
  EXPECT_EQ(errorOf([&] { dispatcher.attach(3, owner); }), "Window handle is already subclassed");
  EXPECT_EQ(errorOf([&] { dispatcher.addMessage(4, 1); }), "Window handle isn't subclassed");
  dispatcher.setUserData(3, 77);
  EXPECT_EQ(dispatcher.userData(3), 77);
  dispatcher.detach(3);
  EXPECT_EQ(errorOf([&] { dispatcher.dispatch(3, 1); }), "Window handle isn't subclassed");
}

} // namespace
} // namespace quorvane::protect
