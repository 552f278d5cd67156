// Text to 16-bit counts. The rounding works on the decimal digits themselves,
// so "2.5000000000000001" rounds up and "2.5" to the even 2 without any
// binary floating-point surprise.
#include "merger/numconv.h"

#include <cstddef>
#include <cstdint>

#include "merger/errors.h"

namespace zuvoze::merger {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The parts of a decimal number: sign, whole digits, fraction digits.
struct Decimal {
  bool negative = false;
  std::string whole, fraction;
};

// Reads a decimal number at text[pos]: optional sign, digits, optional "."
// and digits; at least one digit in all. Returns the position after it, or
// npos when there is no number there.
size_t scanDecimal(const std::string& text, size_t pos, Decimal* d) {
  size_t i = pos;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    d->negative = text[i] == '-';
    ++i;
  }
  while (i < text.size() && isDigit(text[i])) d->whole += text[i++];
  if (i < text.size() && text[i] == '.') {
    size_t j = i + 1;
    std::string frac;
    while (j < text.size() && isDigit(text[j])) frac += text[j++];
    if (!d->whole.empty() || !frac.empty()) {
      d->fraction = frac;
      i = j;
    }
  }
  if (d->whole.empty() && d->fraction.empty()) return std::string::npos;
  return i;
}

// Rounds to the nearest whole number, halves to the even one, and checks the
// 16-bit range.
Count roundToCount(const Decimal& d) {
  size_t first = d.whole.find_first_not_of('0');
  std::string digits = first == std::string::npos ? "" : d.whole.substr(first);
  if (digits.size() > 6) raise(kErrOverflow);
  int64_t value = 0;
  for (char c : digits) value = value * 10 + (c - '0');

  bool up = false;
  if (!d.fraction.empty()) {
    char lead = d.fraction[0];
    bool restNonZero = d.fraction.find_first_not_of('0', 1) != std::string::npos;
    if (lead > '5' || (lead == '5' && restNonZero)) up = true;
    else if (lead == '5') up = (value % 2) != 0;
  }
  if (up) ++value;
  if (d.negative) value = -value;
  if (value < INT16_MIN || value > INT16_MAX) raise(kErrOverflow);
  return static_cast<Count>(value);
}

}  // namespace

Count toCount(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  Decimal d;
  size_t end = scanDecimal(text, i, &d);
  if (end == std::string::npos) raise(kErrTypeMismatch);
  while (end < text.size() && isBlank(text[end])) ++end;
  if (end != text.size()) raise(kErrTypeMismatch);
  return roundToCount(d);
}

Count toCountLenient(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  Decimal d;
  if (scanDecimal(text, i, &d) == std::string::npos) return 0;
  return roundToCount(d);
}

Count addCount(Count a, Count b) {
  int32_t sum = static_cast<int32_t>(a) + static_cast<int32_t>(b);
  if (sum < INT16_MIN || sum > INT16_MAX) raise(kErrOverflow);
  return static_cast<Count>(sum);
}

}  // namespace zuvoze::merger
