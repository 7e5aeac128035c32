#include "input/HotkeyConfig.h"

#include "common/JsonNumbers.h"
#include "common/OrderedJson.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <limits>

QByteArray HotkeyConfig::toJson() const {
    return OrderedJsonObject()
        .add("keyCode", std::int64_t{keyCode})
        .add("modifierFlagsRawValue", modifierFlagsRawValue)
        .add("isModifierOnly", isModifierOnly)
        .add("displayName", displayName)
        .toJson();
}

std::optional<HotkeyConfig> HotkeyConfig::fromJson(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const auto keyCode = JsonNumbers::toUInt64(object.value(QStringLiteral("keyCode")));
    const auto flags = JsonNumbers::toUInt64(object.value(QStringLiteral("modifierFlagsRawValue")));
    const QJsonValue modifierOnly = object.value(QStringLiteral("isModifierOnly"));
    const QJsonValue name = object.value(QStringLiteral("displayName"));
    if (!keyCode || *keyCode > std::numeric_limits<std::uint16_t>::max() || !flags ||
        !modifierOnly.isBool() || !name.isString()) {
        return std::nullopt;
    }
    return HotkeyConfig{static_cast<std::uint16_t>(*keyCode), *flags, modifierOnly.toBool(),
                        name.toString()};
}

HotkeyConfig HotkeyConfig::defaultRecording() {
    return {KeyCode::function, 0, true, QStringLiteral("Fn")};
}

HotkeyConfig HotkeyConfig::defaultTranslation() {
    return {KeyCode::t, ModifierFlag::control | ModifierFlag::option, false,
            QStringLiteral("\u2303\u2325T")};
}
