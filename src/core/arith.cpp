#include "core/arith.h"

#include <cmath>
#include <limits>
#include <string>

#include "core/errors.h"

namespace velmora {
namespace {

[[noreturn]] void ThrowOverflow(const char* what) {
    throw RuntimeError(ErrorCode::Overflow, what);
}

// Round half to even without depending on the current floating-point mode.
double RoundHalfEven(double value) {
    double floor = std::floor(value);
    double diff = value - floor;
    if (diff > 0.5) return floor + 1.0;
    if (diff < 0.5) return floor;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

template <typename T>
T RoundedTo(double value, const char* what) {
    if (!std::isfinite(value)) ThrowOverflow(what);
    double rounded = RoundHalfEven(value);
    if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<T>::max()))
        ThrowOverflow(what);
    return static_cast<T>(rounded);
}

}  // namespace

std::int16_t ToInt16(std::int64_t value) {
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        ThrowOverflow("16-bit overflow");
    return static_cast<std::int16_t>(value);
}

std::int32_t ToInt32(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        ThrowOverflow("32-bit overflow");
    return static_cast<std::int32_t>(value);
}

std::int16_t CInt16(double value) {
    return RoundedTo<std::int16_t>(value, "16-bit overflow");
}
std::int32_t CInt32(double value) {
    return RoundedTo<std::int32_t>(value, "32-bit overflow");
}

float DivideSingle(float dividend, float divisor) {
    if (std::isnan(dividend) || std::isnan(divisor))
        throw RuntimeError(ErrorCode::Overflow, "invalid floating-point operation");
    if (divisor == 0.0f) {
        if (dividend == 0.0f) throw RuntimeError(ErrorCode::Overflow, "invalid floating-point operation");
        throw RuntimeError(ErrorCode::DivisionByZero, "division by zero");
    }
    float q = dividend / divisor;
    if (std::isinf(q) || std::isnan(q)) ThrowOverflow("floating-point overflow");
    return q;
}

}  // namespace velmora
