// Reads the whole number a typed or received text stands for.
#pragma once

#include <cstdint>
#include <string_view>

namespace tornello {

// Leading spaces and tabs, an optional "-" or "+", then "$" and hexadecimal
// digits, "%" and binary digits, or decimal digits, up to the first character
// that is not a digit of that base; the rest is ignored. No digit gives 0.
// Digits accumulate in wrapping 64-bit arithmetic, so an over-long number wraps
// instead of overflowing; callers that keep 32 bits take the low ones.
int64_t parse_int(std::string_view text);

}  // namespace tornello
