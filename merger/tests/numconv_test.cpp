// Text to 16-bit counts: strict and lenient forms, rounding, range.
#include <gtest/gtest.h>

#include "merger/errors.h"
#include "merger/numconv.h"

namespace zuvoze::merger {
namespace {

constexpr int kOk = 0;

struct Case {
  const char* text;
  int strictErr;   // 0: converts; else the runtime error raised
  int strict;      // value when it converts
  int lenientErr;
  int lenient;
};

const Case kCases[] = {
    // text              strict            lenient
    {"0", kOk, 0, kOk, 0},
    {"42", kOk, 42, kOk, 42},
    {"  7  ", kOk, 7, kOk, 7},
    {"\t7", kOk, 7, kOk, 7},
    {"+3", kOk, 3, kOk, 3},
    {"-3", kOk, -3, kOk, -3},
    {"007", kOk, 7, kOk, 7},
    {"2.5", kOk, 2, kOk, 2},            // halves to the even number
    {"3.5", kOk, 4, kOk, 4},
    {"-2.5", kOk, -2, kOk, -2},
    {"-3.5", kOk, -4, kOk, -4},
    {"2.5000001", kOk, 3, kOk, 3},      // above the half
    {"2.4999999", kOk, 2, kOk, 2},
    {"0.5", kOk, 0, kOk, 0},
    {".5", kOk, 0, kOk, 0},
    {"1.5", kOk, 2, kOk, 2},
    {"5.", kOk, 5, kOk, 5},
    {"32767", kOk, 32767, kOk, 32767},
    {"-32768", kOk, -32768, kOk, -32768},
    {"32767.4", kOk, 32767, kOk, 32767},
    {"32767.5", kErrOverflow, 0, kErrOverflow, 0},   // rounds to 32768
    {"32768", kErrOverflow, 0, kErrOverflow, 0},
    {"-32769", kErrOverflow, 0, kErrOverflow, 0},
    {"-32768.5", kOk, -32768, kOk, -32768},           // even: stays in range
    {"99999999999999999999", kErrOverflow, 0, kErrOverflow, 0},
    {"000000000000000000012", kOk, 12, kOk, 12},
    {"", kErrTypeMismatch, 0, kOk, 0},
    {"   ", kErrTypeMismatch, 0, kOk, 0},
    {"abc", kErrTypeMismatch, 0, kOk, 0},
    {"12abc", kErrTypeMismatch, 0, kOk, 12},
    {"1 2", kErrTypeMismatch, 0, kOk, 1},
    {"-", kErrTypeMismatch, 0, kOk, 0},
    {".", kErrTypeMismatch, 0, kOk, 0},
    {"1.2.3", kErrTypeMismatch, 0, kOk, 1},
    {"3.5x", kErrTypeMismatch, 0, kOk, 4},
    {"99999abc", kErrTypeMismatch, 0, kErrOverflow, 0},
};

int errorOf(Count (*convert)(const std::string&), const std::string& text, int* value) {
  try {
    *value = convert(text);
    return kOk;
  } catch (const MergeError& e) {
    return e.number;
  }
}

TEST(NumConv, StrictAndLenientTable) {
  for (const Case& c : kCases) {
    int value = -1;
    EXPECT_EQ(errorOf(toCount, c.text, &value), c.strictErr) << "strict \"" << c.text << "\"";
    if (c.strictErr == kOk) {
      EXPECT_EQ(value, c.strict) << "strict \"" << c.text << "\"";
    }
    value = -1;
    EXPECT_EQ(errorOf(toCountLenient, c.text, &value), c.lenientErr) << "lenient \"" << c.text << "\"";
    if (c.lenientErr == kOk) {
      EXPECT_EQ(value, c.lenient) << "lenient \"" << c.text << "\"";
    }
  }
}

TEST(NumConv, ErrorsCarryTheStandardDescriptions) {
  try {
    toCount("x");
    FAIL() << "no error";
  } catch (const MergeError& e) {
    EXPECT_EQ(e.description, "Type mismatch");
  }
  try {
    toCount("40000");
    FAIL() << "no error";
  } catch (const MergeError& e) {
    EXPECT_EQ(e.description, "Overflow");
  }
}

TEST(NumConv, AddCountOverflows) {
  EXPECT_EQ(addCount(32766, 1), 32767);
  EXPECT_EQ(addCount(-32767, -1), -32768);
  EXPECT_THROW(addCount(32767, 1), MergeError);
  EXPECT_THROW(addCount(-32768, -1), MergeError);
}

}  // namespace
}  // namespace zuvoze::merger
