// The main signature table.
#include "engine/sigtable.h"

#include "engine/filekey.h"
#include "engine/lookup.h"

#include <algorithm>
#include <cstring>

namespace quorvane::engine {
namespace {

/// Calls `line` for every line of the text: LF, CR LF and a lone CR each end one, and a last
/// line without an end counts too.
template <typename Fn> void forEachLine(std::string_view text, Fn&& line) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* stop = nl ? nl : end;
    const char* segmentEnd = stop;
    if (nl && segmentEnd > p && segmentEnd[-1] == '\r')
      --segmentEnd; // CR LF
    // A CR inside the segment ends a line of its own.
    while (const char* cr = static_cast<const char*>(
               std::memchr(p, '\r', static_cast<std::size_t>(segmentEnd - p)))) {
      line(std::string_view(p, static_cast<std::size_t>(cr - p)));
      p = cr + 1;
    }
    if (nl || p < segmentEnd) // a CR at the very end closes the last line
      line(std::string_view(p, static_cast<std::size_t>(segmentEnd - p)));
    p = nl ? nl + 1 : end;
  }
}

} // namespace

SignatureTable::SignatureTable(std::vector<double> keys) : slots_(std::move(keys)) {
  if (!std::is_sorted(slots_.begin(), slots_.end())) {
    std::sort(slots_.begin(), slots_.end());
    arrivedSorted_ = false;
  }
  slots_.push_back(0.0);
}

bool SignatureTable::contains(double key) const {
  return FastArraySearchn(slots(), key, SignatureCount());
}

SignatureTable ParseSignatureTable(std::string_view text) {
  std::size_t lines = 0;
  forEachLine(text, [&](std::string_view) { ++lines; });
  std::vector<double> keys;
  keys.reserve(lines + 1); // and the closing slot, so the table needs no second allocation
  forEachLine(text, [&](std::string_view line) { keys.push_back(KeyTextToNumber(line)); });
  return SignatureTable(std::move(keys));
}

SignatureDatabase::SignatureDatabase(platform::FileSystem& files, std::string virSigPath)
    : files_(files), path_(std::move(virSigPath)),
      table_(std::make_shared<const SignatureTable>()) {}

void SignatureDatabase::LoadSignatureTable() {
  auto status = files_.status(path_);
  auto text = files_.readFile(path_);
  if (!status || !text) {
    install(std::make_shared<const SignatureTable>(), std::nullopt);
    return;
  }
  // Built aside; lookups keep using the previous table until the swap.
  install(std::make_shared<const SignatureTable>(ParseSignatureTable(*text)), *status);
}

bool SignatureDatabase::ReloadSignatureTableTick() {
  auto status = files_.status(path_);
  {
    std::lock_guard lock(mutex_);
    if (!status) {
      if (!source_ && table_->SignatureCount() == 0)
        return false; // still missing
    } else if (source_ && source_->sameVersionAs(*status)) {
      return false; // unchanged
    }
  }
  LoadSignatureTable();
  return true;
}

std::shared_ptr<const SignatureTable> SignatureDatabase::current() const {
  std::lock_guard lock(mutex_);
  return table_;
}

void SignatureDatabase::install(std::shared_ptr<const SignatureTable> table,
                                std::optional<platform::FileStatus> source) {
  std::lock_guard lock(mutex_);
  table_ = std::move(table);
  source_ = source;
}

} // namespace quorvane::engine
