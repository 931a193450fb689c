// The main signature table.
#include "engine/sigtable.h"

#include "engine/filekey.h"
#include "engine/lookup.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <future>

namespace quorvane::engine {
namespace {

/// Sorts file lengths by their bits, 16 at a time, in as many passes as the largest needs (two
/// for lengths below 4 GB): a million lengths take a few milliseconds instead of a comparison
/// sort's tens.
void sortLengths(std::vector<std::uint64_t>& values) {
  if (values.size() < 2)
    return;
  std::uint64_t largest = *std::max_element(values.begin(), values.end());
  std::vector<std::uint64_t> other(values.size());
  for (int shift = 0; shift < 64 && (largest >> shift) != 0; shift += 16) {
    std::vector<std::size_t> start(65537, 0);
    for (std::uint64_t v : values)
      ++start[((v >> shift) & 0xFFFF) + 1];
    for (std::size_t i = 1; i < start.size(); ++i)
      start[i] += start[i - 1];
    for (std::uint64_t v : values)
      other[start[(v >> shift) & 0xFFFF]++] = v;
    values.swap(other);
  }
}

/// Cuts a text that arrives in pieces into lines: LF, CR LF and a lone CR each end one, and a
/// last line without an end counts too.
class LineSplitter {
public:
  template <typename Fn> void feed(std::string_view chunk, Fn&& line) {
    const char* p = chunk.data();
    const char* end = p + chunk.size();
    if (skipLf_ && p < end) {
      if (*p == '\n')
        ++p; // the LF of a CR LF cut between two pieces
      skipLf_ = false;
    }
    while (p < end) {
      const char* q = p;
      while (q < end && *q != '\n' && *q != '\r')
        ++q;
      if (q == end) {
        carry_.append(p, end);
        return;
      }
      emit(p, q, line);
      if (*q == '\r') {
        if (q + 1 < end) {
          if (q[1] == '\n')
            ++q;
        } else {
          skipLf_ = true;
        }
      }
      p = q + 1;
    }
  }

  template <typename Fn> void finish(Fn&& line) {
    if (!carry_.empty())
      line(std::string_view(carry_));
    carry_.clear();
    skipLf_ = false;
  }

private:
  template <typename Fn> void emit(const char* begin, const char* end, Fn& line) {
    if (carry_.empty()) {
      line(std::string_view(begin, static_cast<std::size_t>(end - begin)));
      return;
    }
    carry_.append(begin, end);
    line(std::string_view(carry_));
    carry_.clear();
  }

  std::string carry_;
  bool skipLf_ = false;
};

constexpr std::size_t kReadPiece = 1 << 20;

} // namespace

SignatureTable::SignatureTable(std::vector<double> keys,
                               std::optional<std::vector<std::uint64_t>> lengths)
    : slots_(std::move(keys)), lengths_(std::move(lengths)) {
  if (lengths_) {
    sortLengths(*lengths_);
    lengths_->erase(std::unique(lengths_->begin(), lengths_->end()), lengths_->end());
    lengths_->shrink_to_fit();
    if (lengths_->size() >= kManyLengths) {
      shortLengths_.assign(kShortLength / 64, 0);
      for (std::uint64_t length : *lengths_) {
        if (length >= kShortLength)
          break;
        shortLengths_[length / 64] |= std::uint64_t{1} << (length % 64);
      }
    }
  }
  if (!std::is_sorted(slots_.begin(), slots_.end())) {
    std::sort(slots_.begin(), slots_.end());
    arrivedSorted_ = false;
  }
  slots_.push_back(0.0);
  slots_.shrink_to_fit(); // a loader may have reserved room by estimate
}

bool SignatureTable::contains(double key) const {
  return findInSortedTable(slots(), key, signatureCount());
}

bool SignatureTable::mayMatchLength(std::uint64_t length) const {
  if (!lengths_)
    return true;
  if (length < kShortLength && !shortLengths_.empty())
    return (shortLengths_[length / 64] >> (length % 64)) & 1;
  return std::binary_search(lengths_->begin(), lengths_->end(), length);
}

/// Collects the keys of vir.sig lines and the lengths they carry.
class KeyCollector {
public:
  void add(std::string_view line) {
    double key = keyTextToNumber(line);
    keys_.push_back(key);
    if (key == 0.0 || !lengths_)
      return; // a blank or non-numeric line never matches a file, whatever its length
    if (auto length = keyTextLength(line))
      lengths_->push_back(*length);
    else
      lengths_.reset(); // a key without a length: any file may match it
  }
  bool empty() const { return keys_.empty(); }
  std::size_t size() const { return keys_.size(); }
  void reserve(std::size_t keys) {
    keys_.reserve(keys);
    if (lengths_)
      lengths_->reserve(keys);
  }
  /// Adds the keys another collector took from the lines after this one's.
  void append(KeyCollector&& later) {
    keys_.insert(keys_.end(), later.keys_.begin(), later.keys_.end());
    if (!later.lengths_)
      lengths_.reset();
    if (lengths_)
      lengths_->insert(lengths_->end(), later.lengths_->begin(), later.lengths_->end());
  }
  SignatureTable build() { return SignatureTable(std::move(keys_), std::move(lengths_)); }

private:
  std::vector<double> keys_;
  std::optional<std::vector<std::uint64_t>> lengths_{std::in_place};
};

namespace {

/// The keys of one run of whole lines of vir.sig.
KeyCollector collectKeys(std::string_view lines) {
  KeyCollector keys;
  LineSplitter splitter;
  auto add = [&](std::string_view line) { keys.add(line); };
  splitter.feed(lines, add);
  splitter.finish(add);
  return keys;
}

} // namespace

SignatureTable parseSignatureTable(std::string_view text) {
  return collectKeys(text).build();
}

SignatureDatabase::SignatureDatabase(platform::FileSystem& files, std::string virSigPath)
    : files_(files), path_(std::move(virSigPath)),
      table_(std::make_shared<const SignatureTable>()) {}

void SignatureDatabase::loadSignatureTable() {
  // The file is read in pieces, cut after their last line feed (a line feed ends a line whatever
  // came before it), and the runs of whole lines are converted on two threads while the next
  // piece is read. The whole text never sits in memory; the keys are joined in file order.
  auto status = files_.status(path_);
  auto file = status ? files_.openRead(path_)
                     : platform::ErrorOr<std::unique_ptr<platform::InputFile>>(status.error());
  if (!file) {
    install(std::make_shared<const SignatureTable>(), std::nullopt);
    return;
  }
  constexpr std::size_t kAtOnce = 2;
  KeyCollector all;
  std::deque<std::pair<std::future<KeyCollector>, std::size_t>> converting; // and its bytes
  auto joinOldest = [&] {
    KeyCollector keys = converting.front().first.get();
    if (all.empty() && converting.front().second > 0) {
      // Room for the whole file's keys, judged by the first piece, and the closing slot: the
      // table is not left with twice the room it needs.
      double perByte = static_cast<double>(keys.size()) / converting.front().second;
      all.reserve(static_cast<std::size_t>(perByte * status->size * 1.02) + 64);
    }
    all.append(std::move(keys));
    converting.pop_front();
  };
  std::string carry;
  std::vector<char> buffer(kReadPiece);
  bool ok = true;
  for (;;) {
    auto n = (*file)->read(buffer.data(), buffer.size());
    if (!n) {
      ok = false;
      break;
    }
    if (*n == 0)
      break;
    std::string_view piece(buffer.data(), *n);
    std::size_t cut = piece.rfind('\n');
    if (cut == std::string_view::npos) {
      carry.append(piece); // a line longer than a piece: it goes with the next one
      continue;
    }
    std::string lines = std::move(carry);
    lines.append(piece.substr(0, cut + 1));
    carry.assign(piece.substr(cut + 1));
    if (converting.size() >= kAtOnce)
      joinOldest();
    std::size_t bytes = lines.size();
    converting.emplace_back(std::async(std::launch::async, collectKeys, std::move(lines)), bytes);
  }
  while (!converting.empty())
    joinOldest();
  if (!ok) {
    install(std::make_shared<const SignatureTable>(), std::nullopt);
    return;
  }
  all.append(collectKeys(carry)); // the last line, when it has no end
  // Built aside; lookups keep using the previous table until the swap.
  install(std::make_shared<const SignatureTable>(all.build()), *status);
}

bool SignatureDatabase::reloadSignatureTableTick() {
  auto status = files_.status(path_);
  {
    std::lock_guard lock(mutex_);
    if (!status) {
      if (!source_ && table_->signatureCount() == 0)
        return false; // still missing
    } else if (source_ && source_->sameVersionAs(*status)) {
      return false; // unchanged
    }
  }
  loadSignatureTable();
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
