#include "core/arith.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/errors.h"

namespace velmora {
namespace {

void ExpectOverflow(auto&& fn) {
    try {
        fn();
        FAIL() << "no overflow";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), ErrorCode::Overflow);
    }
}

TEST(Arithmetic, SixteenBitResultsOverflowInsteadOfWrapping) {
    EXPECT_EQ(ToInt16(32767), 32767);
    EXPECT_EQ(ToInt16(-32768), -32768);
    ExpectOverflow([] { ToInt16(32768); });
    ExpectOverflow([] { ToInt16(-32769); });
    EXPECT_EQ(AddInt16(32761, 6), 32767);
    ExpectOverflow([] { AddInt16(32762, 6); });
    ExpectOverflow([] { AddInt16(-32768, -1); });
}

TEST(Arithmetic, ThirtyTwoBitResultsOverflowInsteadOfWrapping) {
    EXPECT_EQ(AddInt32(2147483646, 1), 2147483647);
    ExpectOverflow([] { AddInt32(2147483647, 1); });
    ExpectOverflow([] { ToInt32(-2147483649LL); });
}

TEST(Arithmetic, FloatToIntegerRoundsHalfToEven) {
    EXPECT_EQ(CInt16(1000.5), 1000);
    EXPECT_EQ(CInt16(2001.5), 2002);
    EXPECT_EQ(CInt16(-0.5), 0);
    EXPECT_EQ(CInt16(-1.5), -2);
    EXPECT_EQ(CInt16(-2.5), -2);
    EXPECT_EQ(CInt16(2.4999), 2);
    EXPECT_EQ(CInt16(2.5001), 3);
    EXPECT_EQ(CInt32(516.5), 516);
    EXPECT_EQ(CInt32(517.5), 518);
    EXPECT_EQ(CInt16(32767.4), 32767);
    ExpectOverflow([] { CInt16(32767.5); });  // rounds to 32768
    EXPECT_EQ(CInt16(-32768.5), -32768);      // ties to even: -32768
    ExpectOverflow([] { CInt16(-32768.6); });
    ExpectOverflow([] { CInt32(std::nan("")); });
    ExpectOverflow([] { CInt32(std::numeric_limits<double>::infinity()); });
    ExpectOverflow([] { CInt32(2147483647.5); });
}

TEST(Arithmetic, SingleDivisionFailsOnZeroAndInvalidOperands) {
    EXPECT_FLOAT_EQ(DivideSingle(7755, 15), 517);
    try {
        DivideSingle(1, 0);
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), ErrorCode::DivisionByZero);
    }
    ExpectOverflow([] { DivideSingle(0, 0); });
    ExpectOverflow([] { DivideSingle(std::nanf(""), 1); });
    ExpectOverflow([] { DivideSingle(3e38f, 1e-10f); });
}

}  // namespace
}  // namespace velmora
