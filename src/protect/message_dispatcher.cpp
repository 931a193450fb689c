// The message dispatcher.
#include "protect/message_dispatcher.h"

#include <algorithm>

namespace quorvane::protect {

bool MessageDispatcher::Table::has(long message) const {
  return all || std::find(messages.begin(), messages.end(), message) != messages.end();
}

bool MessageDispatcher::attach(WindowHandle window, MessageHandler& owner, std::intptr_t user, bool,
                               WindowProc ownProc) {
  if (window == 0)
    throw DispatchError("Invalid window handle");
  if (windows_.count(window))
    throw DispatchError("Window handle is already subclassed");
  AttachedWindow& entry = windows_[window];
  entry.owner = &owner;
  entry.user = user;
  entry.ownProc = std::move(ownProc);
  return true;
}

void MessageDispatcher::detachAll() {
  windows_.clear();
}

void MessageDispatcher::detach(WindowHandle window) {
  if (windows_.empty())
    throw DispatchError("Subclassing hasn't been started");
  find(window);
  windows_.erase(window);
}

MessageDispatcher::AttachedWindow& MessageDispatcher::find(WindowHandle window) {
  return const_cast<AttachedWindow&>(static_cast<const MessageDispatcher*>(this)->find(window));
}

const MessageDispatcher::AttachedWindow& MessageDispatcher::find(WindowHandle window) const {
  if (window == 0)
    throw DispatchError("Invalid window handle");
  auto it = windows_.find(window);
  if (it == windows_.end())
    throw DispatchError("Window handle isn't subclassed");
  return it->second;
}

void MessageDispatcher::add(Table& table, long message) {
  if (message == kAllMessages) {
    table.all = true;
    table.messages.clear();
    return;
  }
  if (table.has(message))
    return;
  if (table.messages.size() >= static_cast<std::size_t>(kMessagesPerTable))
    throw DispatchError(
        "Message table overflow. Either increase the value of Const kMessagesPerTable "
        "or use kAllMessages instead of specific message values");
  table.messages.push_back(message);
}

void MessageDispatcher::remove(Table& table, long message) {
  if (message == kAllMessages) {
    table.all = false;
    table.messages.clear();
    return;
  }
  table.messages.erase(std::remove(table.messages.begin(), table.messages.end(), message),
                       table.messages.end());
}

void MessageDispatcher::addMessage(WindowHandle window, long message, int when) {
  AttachedWindow& entry = find(window);
  if (when & Before)
    add(entry.before, message);
  if (when & After)
    add(entry.after, message);
}

void MessageDispatcher::removeMessage(WindowHandle window, long message, int when) {
  AttachedWindow& entry = find(window);
  if (when & Before)
    remove(entry.before, message);
  if (when & After)
    remove(entry.after, message);
}

MessageResult MessageDispatcher::callDefaultHandler(WindowHandle window, long message,
                                                    std::uintptr_t wParam, std::intptr_t lParam) {
  AttachedWindow& entry = find(window);
  return entry.ownProc ? entry.ownProc(message, wParam, lParam) : 0;
}

std::intptr_t MessageDispatcher::userData(WindowHandle window) const {
  return find(window).user;
}

void MessageDispatcher::setUserData(WindowHandle window, std::intptr_t user) {
  find(window).user = user;
}

MessageResult MessageDispatcher::dispatch(WindowHandle window, long message, std::uintptr_t wParam,
                                          std::intptr_t lParam) {
  AttachedWindow& entry = find(window);
  bool handled = false;
  MessageResult result = 0;
  if (entry.before.has(message))
    entry.owner->handleMessage(true, handled, result, window, message, wParam, lParam, entry.user);
  if (!handled)
    result = callDefaultHandler(window, message, wParam, lParam);
  // The owner may have let the window go meanwhile.
  auto it = windows_.find(window);
  if (it != windows_.end() && it->second.after.has(message))
    it->second.owner->handleMessage(false, handled, result, window, message, wParam, lParam,
                                    it->second.user);
  return result;
}

} // namespace quorvane::protect
