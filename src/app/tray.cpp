// The tray icon component.
#include "app/tray.h"

#include "app/language.h"
#include "app/text.h"

#include <random>

namespace quorvane::app {

TrayMouse decodeTrayEvent(int value) {
  switch (value) {
  case 512: return {TrayEvent::MouseMove, 0};
  case 513: return {TrayEvent::MouseDown, 1};
  case 514: return {TrayEvent::MouseUp, 1};
  case 515: return {TrayEvent::DblClick, 1};
  case 516: return {TrayEvent::MouseDown, 2};
  case 517: return {TrayEvent::MouseUp, 2};
  case 518: return {TrayEvent::DblClick, 2};
  default: return {};
  }
}

TrayArea::TrayArea(platform::Tray& shell, std::uintptr_t ownerWindow,
                   std::function<double()> random)
    : shell_(shell), random_(std::move(random)) {
  if (!random_)
    random_ = [engine = std::mt19937(std::random_device{}())]() mutable {
      return std::uniform_real_distribution<double>(0.0, 1.0)(engine);
    };
  record_.owner = ownerWindow;
  record_.callbackMessage = kTrayCallbackMessage;
}

TrayArea::~TrayArea() { shell_.notify(platform::TrayCall::Delete, record_); }

void TrayArea::setVisible(bool visible) {
  if (visible == visible_)
    return;
  visible_ = visible;
  if (!visible) {
    shell_.notify(platform::TrayCall::Delete, record_);
    return;
  }
  record_.identifier = static_cast<std::uint32_t>(random_() * 65535 + 1);
  record_.flags = platform::TrayIconRecord::kMessageValid;
  if (!record_.icon.empty())
    record_.flags |= platform::TrayIconRecord::kIconValid;
  if (!tip_.empty())
    record_.flags |= platform::TrayIconRecord::kTipValid;
  shell_.notify(platform::TrayCall::Add, record_);
}

void TrayArea::setIcon(std::string icon) {
  record_.icon = std::move(icon);
  if (!record_.icon.empty() && visible_) {
    record_.flags = platform::TrayIconRecord::kIconValid;
    shell_.notify(platform::TrayCall::Modify, record_);
  }
}

void TrayArea::setToolTip(std::string_view tip) {
  tip_ = std::string(trimBlanks(tip));
  record_.tip = cutText(tip_, kTrayTipLimit);
  record_.flags = platform::TrayIconRecord::kTipValid;
  shell_.notify(platform::TrayCall::Modify, record_); // refused while the icon is not shown
}

} // namespace quorvane::app
