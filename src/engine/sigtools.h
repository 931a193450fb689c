// Tools for whoever publishes signatures: checking, building and extending vir.sig texts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::engine {

/// True for a key text: 32 decimal digits, ".", and a decimal length.
bool isKeyText(std::string_view text);

/// The key text of a list line: a key text as it is, or "md5:size[:name]" (32 hexadecimal
/// digits, either case) converted; nothing for anything else.
std::optional<std::string> keyTextOfListLine(std::string_view line);

/// A vir.sig text of the key texts: in ascending order of their values, each once, CR LF ends.
std::string buildSignatureText(std::vector<std::string> keyTexts);

struct SignatureProblem {
  enum class Kind { NotAKey, OutOfOrder };
  std::size_t line; ///< from 1
  std::string message;
  Kind kind = Kind::NotAKey;
};

struct SignatureReport {
  std::size_t keys = 0;
  std::vector<SignatureProblem> problems;
};

/// Checks a vir.sig text: every line a key text, the keys in ascending order.
SignatureReport verifySignatureText(std::string_view text);

} // namespace quorvane::engine
