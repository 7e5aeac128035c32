#include "speech/TranscriptSegment.h"

#include "common/JsonNumbers.h"
#include "common/OrderedJson.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QByteArray TranscriptSegment::encodeList(const QList<TranscriptSegment>& segments) {
    QByteArray json = "[";
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const TranscriptSegment& segment = segments[i];
        if (i > 0) {
            json.append(',');
        }
        json.append(OrderedJsonObject()
                        .add("index", segment.index)
                        .add("text", segment.text)
                        .add("startMs", segment.startMs)
                        .add("endMs", segment.endMs)
                        .toJson());
    }
    json.append(']');
    return json;
}

std::optional<QList<TranscriptSegment>> TranscriptSegment::decodeList(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return std::nullopt;
    }
    QList<TranscriptSegment> segments;
    const QJsonArray array = document.array();
    segments.reserve(array.size());
    for (const QJsonValue& element : array) {
        if (!element.isObject()) {
            return std::nullopt;
        }
        const QJsonObject object = element.toObject();
        const auto index = JsonNumbers::toInt64(object.value(QStringLiteral("index")));
        const QJsonValue text = object.value(QStringLiteral("text"));
        const auto startMs = JsonNumbers::toInt64(object.value(QStringLiteral("startMs")));
        const auto endMs = JsonNumbers::toInt64(object.value(QStringLiteral("endMs")));
        if (!index || !text.isString() || !startMs || !endMs) {
            return std::nullopt;
        }
        segments.append({*index, text.toString(), *startMs, *endMs});
    }
    return segments;
}

size_t qHash(const TranscriptSegment& segment, size_t seed) noexcept {
    return qHashMulti(seed, segment.index, segment.text, segment.startMs, segment.endMs);
}
