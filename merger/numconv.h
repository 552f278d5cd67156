// Text to 16-bit counts, as the merger's conversions do it: a decimal number,
// rounded to the nearest whole number with halves to the even one.
#pragma once
#include <cstdint>
#include <string>

namespace zuvoze::merger {

using Count = int16_t;

// Strict: blanks around a decimal number (sign, digits, optional fraction) are
// allowed; anything else, the empty text included, raises 13 (Type mismatch);
// a value outside -32768..32767 after rounding raises 6 (Overflow).
Count toCount(const std::string& text);
// Lenient: only the leading numeric part counts; empty or non-numeric text gives
// 0 ("12abc" -> 12, "2.5" -> 2, "3.5" -> 4). Out of range raises 6.
Count toCountLenient(const std::string& text);
// a + b on 16-bit signed counts; raises 6 on overflow.
Count addCount(Count a, Count b);

}  // namespace zuvoze::merger
