// The program's integer rules: 16- and 32-bit signed values whose results out
// of range are overflow errors, never wrap-arounds; float-to-integer conversion
// rounds to the nearest integer, ties to the even one.
#pragma once

#include <cstdint>

namespace velmora {

std::int16_t ToInt16(std::int64_t value);
std::int32_t ToInt32(std::int64_t value);

// Conversion from floating point; NaN and out-of-range values overflow.
std::int16_t CInt16(double value);
std::int32_t CInt32(double value);

inline std::int16_t AddInt16(std::int16_t a, std::int64_t b) {
    return ToInt16(std::int64_t{a} + b);
}
inline std::int32_t AddInt32(std::int32_t a, std::int64_t b) {
    return ToInt32(std::int64_t{a} + b);
}

// Single-precision division; division by zero and invalid results are errors.
float DivideSingle(float dividend, float divisor);

}  // namespace velmora
