// The main signature table.
#include "engine/sigtable.h"

#include "engine/filekey.h"
#include "engine/lookup.h"

#include <algorithm>
#include <cstring>

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

/// Feeds every piece of the file to `piece`; false when the file cannot be read to its end.
template <typename Fn> bool readPieces(platform::FileSystem& files, const std::string& path,
                                       std::vector<char>& buffer, Fn&& piece) {
  auto file = files.openRead(path);
  if (!file)
    return false;
  for (;;) {
    auto n = (*file)->read(buffer.data(), buffer.size());
    if (!n)
      return false;
    if (*n == 0)
      return true;
    piece(std::string_view(buffer.data(), *n));
  }
}

} // namespace

SignatureTable::SignatureTable(std::vector<double> keys,
                               std::optional<std::vector<std::uint64_t>> lengths)
    : slots_(std::move(keys)), lengths_(std::move(lengths)) {
  if (lengths_) {
    sortLengths(*lengths_);
    lengths_->erase(std::unique(lengths_->begin(), lengths_->end()), lengths_->end());
    lengths_->shrink_to_fit();
  }
  if (!std::is_sorted(slots_.begin(), slots_.end())) {
    std::sort(slots_.begin(), slots_.end());
    arrivedSorted_ = false;
  }
  slots_.push_back(0.0);
}

bool SignatureTable::contains(double key) const {
  return findInSortedTable(slots(), key, signatureCount());
}

bool SignatureTable::mayMatchLength(std::uint64_t length) const {
  return !lengths_ || std::binary_search(lengths_->begin(), lengths_->end(), length);
}

/// Collects the keys of vir.sig lines and the lengths they carry.
class KeyCollector {
public:
  void reserve(std::size_t lines) { keys_.reserve(lines + 1); } // and the closing slot
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
  SignatureTable build() { return SignatureTable(std::move(keys_), std::move(lengths_)); }

private:
  std::vector<double> keys_;
  std::optional<std::vector<std::uint64_t>> lengths_{std::in_place};
};

SignatureTable parseSignatureTable(std::string_view text) {
  KeyCollector keys;
  LineSplitter splitter;
  auto add = [&](std::string_view line) { keys.add(line); };
  splitter.feed(text, add);
  splitter.finish(add);
  return keys.build();
}

SignatureDatabase::SignatureDatabase(platform::FileSystem& files, std::string virSigPath)
    : files_(files), path_(std::move(virSigPath)),
      table_(std::make_shared<const SignatureTable>()) {}

void SignatureDatabase::loadSignatureTable() {
  // The file is read in pieces twice, first to count the lines and then to convert them, so
  // that neither the whole text nor a growing array ever sits in memory.
  auto status = files_.status(path_);
  std::vector<char> buffer(kReadPiece);
  std::size_t lines = 0;
  LineSplitter counter;
  auto count = [&](std::string_view) { ++lines; };
  bool ok = status && readPieces(files_, path_, buffer, [&](std::string_view piece) {
              counter.feed(piece, count);
            });
  counter.finish(count);

  KeyCollector keys;
  keys.reserve(lines);
  LineSplitter splitter;
  auto add = [&](std::string_view line) { keys.add(line); };
  ok = ok && readPieces(files_, path_, buffer,
                        [&](std::string_view piece) { splitter.feed(piece, add); });
  splitter.finish(add);
  if (!ok) {
    install(std::make_shared<const SignatureTable>(), std::nullopt);
    return;
  }
  // Built aside; lookups keep using the previous table until the swap.
  install(std::make_shared<const SignatureTable>(keys.build()), *status);
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
