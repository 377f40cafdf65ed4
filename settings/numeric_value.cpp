#include "settings/numeric_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace settings {

namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

// Reads the text left to right, passing over blanks, tabs and line feeds
// wherever they stand.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) { Skip(); }

  // Takes the next character when it is one of `chars`; '\0' when it is not.
  char Take(std::string_view chars) {
    if (pos_ >= text_.size() || chars.find(text_[pos_]) == std::string_view::npos) return '\0';
    const char taken = text_[pos_++];
    Skip();
    return taken;
  }

  std::string Digits() {
    std::string digits;
    while (pos_ < text_.size() && Digit(text_[pos_])) {
      digits += text_[pos_++];
      Skip();
    }
    return digits;
  }

 private:
  void Skip() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n'))
      ++pos_;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

// Decimal exponent of the first significant digit of int.frac * 10^exponent;
// nothing when all digits are zero.
std::optional<long long> LeadingExponent(const std::string& int_digits,
                                         const std::string& frac_digits,
                                         const std::string& exponent) {
  constexpr long long kCap = 1'000'000;  // far beyond any double; keeps the sum from overflowing
  long long power = 0;
  for (char c : exponent)
    if (Digit(c)) power = std::min(kCap, power * 10 + (c - '0'));
  if (!exponent.empty() && exponent[0] == '-') power = -power;
  const size_t first = int_digits.find_first_not_of('0');
  if (first != std::string::npos)
    return static_cast<long long>(int_digits.size() - first) - 1 + power;
  const size_t frac = frac_digits.find_first_not_of('0');
  if (frac != std::string::npos) return -static_cast<long long>(frac) - 1 + power;
  return std::nullopt;
}

template <class T>
std::optional<T> RoundTo(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double rounded = std::nearbyint(value);  // the default rounding mode: half to even
  if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<T>::max()))
    return std::nullopt;
  return static_cast<T>(rounded);
}

}  // namespace

double NumericValue(std::string_view text) {
  Scanner scan(text);
  const bool negative = scan.Take("+-") == '-';
  const std::string int_digits = scan.Digits();
  std::string frac_digits;
  if (scan.Take(".")) frac_digits = scan.Digits();
  if (int_digits.empty() && frac_digits.empty()) return 0.0;
  std::string exponent;
  if (scan.Take("Ee")) {
    const std::string sign = scan.Take("+-") == '-' ? "-" : "";
    const std::string digits = scan.Digits();
    if (!digits.empty()) exponent = sign + digits;  // "1e" is just 1
  }

  // from_chars, unlike strtod, ignores the locale: the point is always ".".
  std::string number = (int_digits.empty() ? "0" : int_digits) + "." + frac_digits;
  if (!exponent.empty()) number += "e" + exponent;
  double value = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // Out of range either way: at least 1 overflows, below 1 underflows.
    const std::optional<long long> lead = LeadingExponent(int_digits, frac_digits, exponent);
    value = lead && *lead >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}

std::optional<int16_t> RoundToInt16(double value) { return RoundTo<int16_t>(value); }
std::optional<int32_t> RoundToInt32(double value) { return RoundTo<int32_t>(value); }

std::string DecimalForm(int64_t value) { return std::to_string(value); }

std::string DisplayForm(int64_t value) {
  return (value < 0 ? "" : " ") + std::to_string(value) + " ";
}

}  // namespace settings
