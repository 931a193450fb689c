// A message dispatcher after the subclassing class of the desktop program: windows register an
// owner and the messages it wants to see before and/or after the window's own procedure.
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
class iSubclass {
public:
  virtual ~iSubclass() = default;
  virtual void WndProc(bool before, bool& handled, MessageResult& result, WindowHandle window,
                       long message, std::uintptr_t wParam, std::intptr_t lParam,
                       std::intptr_t user) = 0;
};

/// Raised with the class's own texts.
class SubclassError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class cSubclass {
public:
  static constexpr int MSG_ENTRIES = 32;
  static constexpr long ALL_MESSAGES = -1;
  enum When { Before = 1, After = 2, Both = 3 };
  using WindowProc = std::function<MessageResult(long, std::uintptr_t, std::intptr_t)>;

  /// Takes over a window's messages. `ownProc` is the window's own procedure (none: it returns
  /// 0). Returns true.
  bool SubClass(WindowHandle window, iSubclass& owner, std::intptr_t user = 0, bool safety = true,
                WindowProc ownProc = {});
  /// Releases every window.
  void Terminate();
  void UnSubclass(WindowHandle window);
  void AddMsg(WindowHandle window, long message, int when = After);
  void DelMsg(WindowHandle window, long message, int when = After);
  /// Calls the window's own procedure alone.
  MessageResult CallOrigWndProc(WindowHandle window, long message, std::uintptr_t wParam,
                                std::intptr_t lParam);
  std::intptr_t lParamUser(WindowHandle window) const;
  void setLParamUser(WindowHandle window, std::intptr_t user);

  /// Delivers a message: the owner before (when registered for it), the window's own procedure
  /// unless the owner handled it, the owner after.
  MessageResult dispatch(WindowHandle window, long message, std::uintptr_t wParam = 0,
                         std::intptr_t lParam = 0);

private:
  struct Table {
    bool all = false;
    std::vector<long> messages; ///< at most MSG_ENTRIES
    bool has(long message) const;
  };
  struct Subclassed {
    iSubclass* owner = nullptr;
    std::intptr_t user = 0;
    WindowProc ownProc;
    Table before, after;
  };
  Subclassed& find(WindowHandle window);
  const Subclassed& find(WindowHandle window) const;
  static void add(Table& table, long message);
  static void remove(Table& table, long message);

  std::map<WindowHandle, Subclassed> windows_;
};

} // namespace quorvane::protect
