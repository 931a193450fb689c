// The safe list.
#include "engine/safelist.h"

#include "app/text.h"

#include <cctype>

namespace quorvane::engine {

std::vector<std::string> parseSafeList(std::string_view text) {
  std::vector<std::string> digests;
  std::size_t i = 0;
  while (i < text.size()) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end])))
      ++end;
    for (std::size_t at = i; at + 32 <= end; at += 32)
      digests.push_back(app::toLower(text.substr(at, 32)));
    i = end;
  }
  return digests;
}

bool SafeList::contains(std::string_view digest) {
  std::lock_guard lock(mutex_);
  auto status = files_.status(path_);
  if (!status) {
    digests_.clear();
    source_.reset();
  } else if (!source_ || !source_->sameVersionAs(*status)) {
    auto text = files_.readFile(path_);
    digests_.clear();
    if (text)
      for (std::string& digest : parseSafeList(*text))
        digests_.insert(std::move(digest));
    source_ = *status;
  }
  return digests_.count(app::toLower(digest)) != 0;
}

} // namespace quorvane::engine
