#pragma once

#include <QString>

// What the floating indicator shows.
struct IndicatorState {
    enum class Kind { info, recording, transcribing, cleaning, translating };

    Kind kind = Kind::recording;
    QString message; // only for info

    static IndicatorState info(QString message) { return {Kind::info, std::move(message)}; }
    static IndicatorState recording() { return {Kind::recording, {}}; }
    static IndicatorState transcribing() { return {Kind::transcribing, {}}; }
    static IndicatorState cleaning() { return {Kind::cleaning, {}}; }
    static IndicatorState translating() { return {Kind::translating, {}}; }

    // The line of text shown next to the dot, spinner or globe.
    QString text() const {
        switch (kind) {
        case Kind::info:
            return message;
        case Kind::recording:
            return QStringLiteral("Recording\u2026");
        case Kind::transcribing:
            return QStringLiteral("Transcribing\u2026");
        case Kind::cleaning:
            return QStringLiteral("Polishing\u2026");
        case Kind::translating:
            return QStringLiteral("Translating\u2026");
        }
        return {};
    }

    bool operator==(const IndicatorState&) const = default;
};
