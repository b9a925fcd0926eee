#include "net/discovery.h"

#include <array>
#include <cstdio>

namespace tornello::discovery {

namespace {

constexpr std::string_view magic = "TORNELLO";
constexpr std::string_view version = "1";
constexpr std::string_view query_word = "FIND";
constexpr std::string_view answer_word = "GAME";
constexpr size_t hex_digits = 8;

std::string hex(uint32_t value) {
  std::array<char, hex_digits + 1> digits{};
  std::snprintf(digits.data(), digits.size(), "%08x", static_cast<unsigned>(value));
  return std::string(digits.data(), hex_digits);
}

std::string header(std::string_view word) {
  return std::string(magic) + " " + std::string(version) + " " + std::string(word) + " ";
}

// Reads the datagram field by field, each ended by one space or by the end of
// the text. Every read stays within the view it was given.
class Fields {
 public:
  explicit Fields(std::string_view text) : rest_(text) {}

  std::optional<std::string_view> next() {
    if (done_) return std::nullopt;
    const size_t space = rest_.find(' ');
    const std::string_view field = rest_.substr(0, space);
    if (space == std::string_view::npos) {
      done_ = true;
    } else {
      rest_.remove_prefix(space + 1);
    }
    if (field.empty()) return std::nullopt;
    return field;
  }
  bool word(std::string_view expected) { return next() == expected; }
  bool at_end() const { return done_; }

  // Exactly eight lower-case hexadecimal digits.
  std::optional<uint32_t> hex_number() {
    const std::optional<std::string_view> field = next();
    if (!field || field->size() != hex_digits) return std::nullopt;
    uint32_t value = 0;
    for (const char c : *field) {
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
  }

  // A decimal number from low to high, without a leading zero.
  std::optional<uint32_t> decimal(uint32_t low, uint32_t high) {
    const std::optional<std::string_view> field = next();
    if (!field || field->size() > 5 || (*field)[0] == '0') return std::nullopt;
    uint32_t value = 0;
    for (const char c : *field) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
  }

 private:
  std::string_view rest_;
  bool done_ = false;
};

bool opens(Fields& fields, std::string_view datagram, std::string_view word) {
  return datagram.size() <= max_datagram && fields.word(magic) && fields.word(version) &&
         fields.word(word);
}

}  // namespace

std::string query_text(const Query& query) {
  return header(query_word) + hex(query.token);
}

std::string answer_text(const Answer& answer) {
  return header(answer_word) + hex(answer.token) + " " + std::to_string(answer.port) + " " +
         std::to_string(answer.game_mode) + " " + hex(answer.instance);
}

std::optional<Query> parse_query(std::string_view datagram) {
  Fields fields(datagram);
  if (!opens(fields, datagram, query_word)) return std::nullopt;
  const std::optional<uint32_t> token = fields.hex_number();
  if (!token || !fields.at_end()) return std::nullopt;
  return Query{*token};
}

std::optional<Answer> parse_answer(std::string_view datagram) {
  Fields fields(datagram);
  if (!opens(fields, datagram, answer_word)) return std::nullopt;
  const std::optional<uint32_t> token = fields.hex_number();
  const std::optional<uint32_t> port = fields.decimal(1, 65535);
  const std::optional<uint32_t> mode = fields.decimal(1, 2);
  const std::optional<uint32_t> instance = fields.hex_number();
  if (!token || !port || !mode || !instance || !fields.at_end()) return std::nullopt;
  return Answer{*token, static_cast<uint16_t>(*port), static_cast<int32_t>(*mode), *instance};
}

}  // namespace tornello::discovery
