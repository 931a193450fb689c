#include "protect/dispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::protect {
namespace {

using ::testing::ElementsAre;

struct Recorder : iSubclass {
  std::vector<std::string> calls;
  bool handleBefore = false;
  void WndProc(bool before, bool& handled, MessageResult& result, WindowHandle, long message,
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
  } catch (const SubclassError& error) {
    return error.what();
  }
  return {};
}

TEST(SubclassTest, DeliversBeforeOwnProcedureAndAfter) {
  cSubclass dispatcher;
  Recorder owner;
  int own = 0;
  dispatcher.SubClass(7, owner, 5, true, [&](long, std::uintptr_t, std::intptr_t) {
    ++own;
    return MessageResult{9};
  });
  dispatcher.AddMsg(7, kDeviceChangeMessage, cSubclass::Both);
  dispatcher.AddMsg(7, 15, cSubclass::After);
  EXPECT_EQ(dispatcher.dispatch(7, kDeviceChangeMessage), 9);
  EXPECT_EQ(dispatcher.dispatch(7, 15), 9);
  EXPECT_EQ(dispatcher.dispatch(7, 16), 9); // not registered: the window's own procedure alone
  EXPECT_THAT(owner.calls, ElementsAre("before 537 user 5 result 0", "after 537 user 5 result 9",
                                       "after 15 user 5 result 9"));
  owner.handleBefore = true;
  owner.calls.clear();
  EXPECT_EQ(dispatcher.dispatch(7, kDeviceChangeMessage), 42);
  EXPECT_EQ(own, 3) << "a handled message does not reach the window's own procedure";

  dispatcher.DelMsg(7, kDeviceChangeMessage, cSubclass::Both);
  owner.calls.clear();
  dispatcher.dispatch(7, kDeviceChangeMessage);
  EXPECT_TRUE(owner.calls.empty());
  dispatcher.AddMsg(7, cSubclass::ALL_MESSAGES, cSubclass::After);
  dispatcher.dispatch(7, 1234);
  EXPECT_EQ(owner.calls.size(), 1u);
}

TEST(SubclassTest, TablesHoldThirtyTwoMessages) {
  cSubclass dispatcher;
  Recorder owner;
  dispatcher.SubClass(1, owner);
  for (long message = 100; message < 132; ++message)
    dispatcher.AddMsg(1, message, cSubclass::After);
  dispatcher.AddMsg(1, 100, cSubclass::After); // already there: no new entry
  EXPECT_EQ(errorOf([&] { dispatcher.AddMsg(1, 200, cSubclass::After); }),
            "Message table overflow. Either increase the value of Const MSG_ENTRIES or use "
            "ALL_MESSAGES instead of specific message values");
  dispatcher.AddMsg(1, 200, cSubclass::Before); // the other table has room
  dispatcher.DelMsg(1, 131, cSubclass::After);
  dispatcher.AddMsg(1, 200, cSubclass::After); // a freed entry is used again
  dispatcher.AddMsg(1, cSubclass::ALL_MESSAGES, cSubclass::After);
}

TEST(SubclassTest, MisuseIsReportedWithItsText) {
  cSubclass dispatcher;
  Recorder owner;
  EXPECT_EQ(errorOf([&] { dispatcher.UnSubclass(3); }), "Subclassing hasn't been started");
  EXPECT_EQ(errorOf([&] { dispatcher.SubClass(0, owner); }), "Invalid window handle");
  dispatcher.SubClass(3, owner);
  EXPECT_EQ(errorOf([&] { dispatcher.SubClass(3, owner); }), "Window handle is already subclassed");
  EXPECT_EQ(errorOf([&] { dispatcher.AddMsg(4, 1); }), "Window handle isn't subclassed");
  dispatcher.setLParamUser(3, 77);
  EXPECT_EQ(dispatcher.lParamUser(3), 77);
  dispatcher.UnSubclass(3);
  EXPECT_EQ(errorOf([&] { dispatcher.dispatch(3, 1); }), "Window handle isn't subclassed");
}

} // namespace
} // namespace quorvane::protect
