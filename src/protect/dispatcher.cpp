// The message dispatcher.
#include "protect/dispatcher.h"

#include <algorithm>

namespace quorvane::protect {

bool cSubclass::Table::has(long message) const {
  return all || std::find(messages.begin(), messages.end(), message) != messages.end();
}

bool cSubclass::SubClass(WindowHandle window, iSubclass& owner, std::intptr_t user, bool,
                         WindowProc ownProc) {
  if (window == 0)
    throw SubclassError("Invalid window handle");
  if (windows_.count(window))
    throw SubclassError("Window handle is already subclassed");
  Subclassed& entry = windows_[window];
  entry.owner = &owner;
  entry.user = user;
  entry.ownProc = std::move(ownProc);
  return true;
}

void cSubclass::Terminate() { windows_.clear(); }

void cSubclass::UnSubclass(WindowHandle window) {
  if (windows_.empty())
    throw SubclassError("Subclassing hasn't been started");
  find(window);
  windows_.erase(window);
}

cSubclass::Subclassed& cSubclass::find(WindowHandle window) {
  return const_cast<Subclassed&>(static_cast<const cSubclass*>(this)->find(window));
}

const cSubclass::Subclassed& cSubclass::find(WindowHandle window) const {
  if (window == 0)
    throw SubclassError("Invalid window handle");
  auto it = windows_.find(window);
  if (it == windows_.end())
    throw SubclassError("Window handle isn't subclassed");
  return it->second;
}

void cSubclass::add(Table& table, long message) {
  if (message == ALL_MESSAGES) {
    table.all = true;
    table.messages.clear();
    return;
  }
  if (table.has(message))
    return;
  if (table.messages.size() >= static_cast<std::size_t>(MSG_ENTRIES))
    throw SubclassError("Message table overflow. Either increase the value of Const MSG_ENTRIES "
                        "or use ALL_MESSAGES instead of specific message values");
  table.messages.push_back(message);
}

void cSubclass::remove(Table& table, long message) {
  if (message == ALL_MESSAGES) {
    table.all = false;
    table.messages.clear();
    return;
  }
  table.messages.erase(std::remove(table.messages.begin(), table.messages.end(), message),
                       table.messages.end());
}

void cSubclass::AddMsg(WindowHandle window, long message, int when) {
  Subclassed& entry = find(window);
  if (when & Before)
    add(entry.before, message);
  if (when & After)
    add(entry.after, message);
}

void cSubclass::DelMsg(WindowHandle window, long message, int when) {
  Subclassed& entry = find(window);
  if (when & Before)
    remove(entry.before, message);
  if (when & After)
    remove(entry.after, message);
}

MessageResult cSubclass::CallOrigWndProc(WindowHandle window, long message,
                                         std::uintptr_t wParam, std::intptr_t lParam) {
  Subclassed& entry = find(window);
  return entry.ownProc ? entry.ownProc(message, wParam, lParam) : 0;
}

std::intptr_t cSubclass::lParamUser(WindowHandle window) const { return find(window).user; }

void cSubclass::setLParamUser(WindowHandle window, std::intptr_t user) { find(window).user = user; }

MessageResult cSubclass::dispatch(WindowHandle window, long message, std::uintptr_t wParam,
                                  std::intptr_t lParam) {
  Subclassed& entry = find(window);
  bool handled = false;
  MessageResult result = 0;
  if (entry.before.has(message))
    entry.owner->WndProc(true, handled, result, window, message, wParam, lParam, entry.user);
  if (!handled)
    result = CallOrigWndProc(window, message, wParam, lParam);
  // The owner may have let the window go meanwhile.
  auto it = windows_.find(window);
  if (it != windows_.end() && it->second.after.has(message))
    it->second.owner->WndProc(false, handled, result, window, message, wParam, lParam,
                              it->second.user);
  return result;
}

} // namespace quorvane::protect
