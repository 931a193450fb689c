// Questions of the command line: asked only where somebody can answer them.
#include "platform/linux/linux_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace quorvane::platform {
namespace {

using ::testing::HasSubstr;

/// Standard input replaced by a pipe holding `text` for the life of the object.
class PipedInput {
public:
  explicit PipedInput(const std::string& text) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    EXPECT_EQ(::write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fds[1]);
    saved_ = ::dup(STDIN_FILENO);
    ::dup2(fds[0], STDIN_FILENO);
    ::close(fds[0]);
  }
  ~PipedInput() {
    ::dup2(saved_, STDIN_FILENO);
    ::close(saved_);
  }

private:
  int saved_ = -1;
};

TEST(StderrNotifierTest, AQuestionWithoutATerminalGetsTheSafeAnswerAndSaysSo) {
  PipedInput input("yes\n"); // what a script might feed, unasked
  StderrNotifier notifier;
  ::testing::internal::CaptureStderr();
  bool answer = notifier.ask("Would you like to restart your SYSTEM now?", {});
  std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(answer);
  EXPECT_THAT(said, HasSubstr("Would you like to restart your SYSTEM now? no (standard input is "
                              "not a terminal)"));
  EXPECT_FALSE(inputIsTerminal());
}

} // namespace
} // namespace quorvane::platform
