// Texts for the widgets: the core's texts as Qt strings, and the notice the windows share.
#pragma once

#include <QString>

#include <string_view>

namespace quorvane::ui {

/// A UTF-8 text of the core as a Qt string.
inline QString qText(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// "Copyright © YEAR Quorvane".
inline QString copyrightNotice(int year) {
  return QString::fromUtf8("Copyright \u00a9 %1 Quorvane").arg(year);
}

} // namespace quorvane::ui
