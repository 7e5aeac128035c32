#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// One timed piece of a transcript.
struct TranscriptSegment {
    std::int64_t index = 0; // 0-based position in its transcript
    QString text;           // already trimmed
    std::int64_t startMs = 0;
    std::int64_t endMs = 0;

    std::int64_t id() const { return index; }
    bool operator==(const TranscriptSegment&) const = default;

    // The stored form of a list: a compact JSON array of objects with the keys
    // "index", "text", "startMs", "endMs" in that order, UTF-8.
    static QByteArray encodeList(const QList<TranscriptSegment>& segments);
    // None when the bytes are not such an array, or any object lacks a key or
    // holds a value of the wrong type.
    static std::optional<QList<TranscriptSegment>> decodeList(const QByteArray& json);
};

size_t qHash(const TranscriptSegment& segment, size_t seed = 0) noexcept;
