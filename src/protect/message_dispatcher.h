// Routes a window's messages to the handlers registered for them: each window has one handler
// and the messages it wants to see before and/or after the window's own procedure.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <vector>

namespace quorvane::protect {

using WindowHandle = std::uintptr_t;
using MessageResult = std::intptr_t;

/// Message number of a device change (a drive came or went).
inline constexpr long kDeviceChangeMessage = 537;

/// The owner's side: called for each registered message.
class MessageHandler {
public:
  virtual ~MessageHandler() = default;
  virtual void handleMessage(bool before, bool& handled, MessageResult& result, WindowHandle window,
                             long message, std::uintptr_t wParam, std::intptr_t lParam,
                             std::intptr_t user) = 0;
};

/// Raised with the class's own texts.
class DispatchError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class MessageDispatcher {
public:
  static constexpr int kMessagesPerTable = 32;
  static constexpr long kAllMessages = -1;
  enum When { Before = 1, After = 2, Both = 3 };
  using WindowProc = std::function<MessageResult(long, std::uintptr_t, std::intptr_t)>;

  /// Takes over a window's messages. `ownProc` is the window's own procedure (none: it returns
  /// 0). Returns true.
  bool attach(WindowHandle window, MessageHandler& owner, std::intptr_t user = 0,
              bool safety = true, WindowProc ownProc = {});
  /// Releases every window.
  void detachAll();
  void detach(WindowHandle window);
  void addMessage(WindowHandle window, long message, int when = After);
  void removeMessage(WindowHandle window, long message, int when = After);
  /// Calls the window's own procedure alone.
  MessageResult callDefaultHandler(WindowHandle window, long message, std::uintptr_t wParam,
                                   std::intptr_t lParam);
  std::intptr_t userData(WindowHandle window) const;
  void setUserData(WindowHandle window, std::intptr_t user);

  /// Delivers a message: the owner before (when registered for it), the window's own procedure
  /// unless the owner handled it, the owner after.
  MessageResult dispatch(WindowHandle window, long message, std::uintptr_t wParam = 0,
                         std::intptr_t lParam = 0);

private:
  struct Table {
    bool all = false;
    std::vector<long> messages; ///< at most kMessagesPerTable
    bool has(long message) const;
  };
  struct AttachedWindow {
    MessageHandler* owner = nullptr;
    std::intptr_t user = 0;
    WindowProc ownProc;
    Table before, after;
  };
  AttachedWindow& find(WindowHandle window);
  const AttachedWindow& find(WindowHandle window) const;
  static void add(Table& table, long message);
  static void remove(Table& table, long message);

  std::map<WindowHandle, AttachedWindow> windows_;
};

} // namespace quorvane::protect
