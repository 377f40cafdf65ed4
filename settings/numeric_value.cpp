#include "settings/numeric_value.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace settings {

namespace {

bool Skipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool Digit(char c) { return c >= '0' && c <= '9'; }

template <class T>
std::optional<T> RoundTo(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double rounded = std::nearbyint(value);  // the default rounding: half to even
  if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<T>::max()))
    return std::nullopt;
  return static_cast<T>(rounded);
}

}  // namespace

double NumericValue(std::string_view text) {
  // Collects the prefix without its blanks, then converts it independently of the locale.
  std::string number;
  size_t i = 0;
  auto skip = [&] {
    while (i < text.size() && Skipped(text[i])) ++i;
  };
  auto digits = [&] {
    size_t n = 0;
    for (skip(); i < text.size() && Digit(text[i]); skip(), ++n) number += text[i++];
    return n;
  };
  bool negative = false;
  skip();
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    number += '.';
    mantissa += digits();
  }
  if (mantissa == 0) return 0.0;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    const size_t mark = number.size();
    const size_t resume = i;
    ++i;
    number += 'e';
    skip();
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
    if (digits() == 0) {
      number.resize(mark);  // "1e" is just 1
      i = resume;
    }
  }
  double value = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large is infinite, too small is zero.
    const bool huge = number.find('e') != std::string::npos &&
                      number.find('-', number.find('e')) == std::string::npos;
    value = huge ? std::numeric_limits<double>::infinity() : 0.0;
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
