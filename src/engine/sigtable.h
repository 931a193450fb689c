// The main signature table, built from vir.sig, and the holder that rebuilds it when the file
// changes. A table never changes once built: readers keep the one they took while a rebuild
// swaps in the next.
#pragma once

#include "platform/files.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::engine {

class SignatureTable {
public:
  /// The empty table: count 0, one slot holding 0; no file length can match.
  SignatureTable() : slots_(1, 0.0), lengths_(std::in_place) {}
  /// The keys in any order; they are sorted when they are not in ascending order already.
  /// `lengths` are the file lengths the key texts carry, or nothing when some key has none
  /// (then any length may match).
  explicit SignatureTable(std::vector<double> keys,
                          std::optional<std::vector<std::uint64_t>> lengths = std::nullopt);

  std::int32_t signatureCount() const { return static_cast<std::int32_t>(slots_.size() - 1); }
  /// True when at least one line was a key (junk and blank lines load as 0, which matches no
  /// file).
  bool holdsAnyKey() const { return signatureCount() > 0 && slots_[slots_.size() - 2] > 0.0; }
  /// Entries 0..count-1 in ascending order, then one slot holding 0.
  std::span<const double> slots() const { return slots_; }
  bool contains(double key) const;
  /// False only when no listed key carries this file length: such a file need not be read.
  bool mayMatchLength(std::uint64_t length) const;
  bool filtersLengths() const { return lengths_.has_value(); }
  std::size_t distinctLengths() const { return lengths_ ? lengths_->size() : 0; }
  /// False when the keys had to be sorted.
  bool arrivedSorted() const { return arrivedSorted_; }
  std::size_t memoryBytes() const {
    return slots_.capacity() * sizeof(double) +
           (lengths_ ? lengths_->capacity() * sizeof(std::uint64_t) : 0) +
           shortLengths_.capacity() * sizeof(std::uint64_t);
  }

private:
  /// Lengths below this are also kept as one bit each, once there are many of them: a look-up
  /// per file then costs one memory access instead of a search through the list.
  static constexpr std::uint64_t kShortLength = std::uint64_t{1} << 23;
  static constexpr std::size_t kManyLengths = 4096;

  std::vector<double> slots_;
  std::optional<std::vector<std::uint64_t>> lengths_; ///< sorted, distinct
  std::vector<std::uint64_t> shortLengths_; ///< bit n set: length n listed (empty: not kept)
  bool arrivedSorted_ = true;
};

/// The table of a vir.sig text: one key per line (lines end in LF, CR LF or CR); a blank or
/// non-numeric line is an entry 0. The lengths after the keys' points are kept for the length
/// filter, which a key without a length turns off.
SignatureTable parseSignatureTable(std::string_view text);

/// The application's current signature table and the vir.sig it comes from.
class SignatureDatabase {
public:
  SignatureDatabase(platform::FileSystem& files, std::string virSigPath);

  /// Builds the table from vir.sig now; a missing or unreadable file gives the empty table.
  void loadSignatureTable();
  /// The periodic rebuild: reloads when vir.sig changed (size, time or identity) and empties the
  /// table when it is gone. Returns true when the table was replaced.
  bool reloadSignatureTableTick();
  /// The table to look keys up in; it stays valid and unchanged while held.
  std::shared_ptr<const SignatureTable> current() const;

private:
  void install(std::shared_ptr<const SignatureTable> table,
               std::optional<platform::FileStatus> source);

  platform::FileSystem& files_;
  std::string path_;
  mutable std::mutex mutex_;
  std::shared_ptr<const SignatureTable> table_;
  std::optional<platform::FileStatus> source_; ///< the vir.sig version the table came from
};

} // namespace quorvane::engine
