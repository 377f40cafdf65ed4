// The numeric conversion used for settings lines and the port field.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace settings {

// Value of the longest numeric prefix of `text`: blanks, tabs and line feeds are
// skipped wherever they occur; an optional sign, digits with an optional "."
// fraction and an optional exponent. No prefix gives 0.
double NumericValue(std::string_view text);

// Rounds half to even; nothing when the result does not fit the type.
std::optional<int16_t> RoundToInt16(double value);
std::optional<int32_t> RoundToInt32(double value);

// " 1 ", "-5 ": sign position, digits, one trailing blank.
std::string DisplayForm(int64_t value);

// "80", "-5": digits with "-" for a negative value, nothing else.
std::string DecimalForm(int64_t value);

}  // namespace settings
