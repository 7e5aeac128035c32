#include "common/JsonNumbers.h"

#include <cmath>

namespace {

// JSON numbers arrive as doubles; beyond 2^53 they are no longer exact.
constexpr double largestExactInteger = 9007199254740992.0;

std::optional<double> integralNumber(const QJsonValue& value) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::trunc(number) != number ||
        std::fabs(number) > largestExactInteger) {
        return std::nullopt;
    }
    return number;
}

} // namespace

namespace JsonNumbers {

std::optional<std::int64_t> toInt64(const QJsonValue& value) {
    const auto number = integralNumber(value);
    if (!number) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(*number);
}

std::optional<std::uint64_t> toUInt64(const QJsonValue& value) {
    const auto number = integralNumber(value);
    if (!number || *number < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(*number);
}

} // namespace JsonNumbers
