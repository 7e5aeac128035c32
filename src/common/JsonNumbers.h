#pragma once

#include <QJsonValue>

#include <cstdint>
#include <optional>

// Strict integer reads from parsed JSON: a value is accepted only when it is a
// number with no fractional part that fits the requested range, so that
// damaged stored data is rejected instead of silently truncated.
namespace JsonNumbers {

std::optional<std::int64_t> toInt64(const QJsonValue& value);
std::optional<std::uint64_t> toUInt64(const QJsonValue& value);

} // namespace JsonNumbers
