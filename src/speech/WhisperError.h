#pragma once

#include "common/ServiceError.h"

#include <cstdint>

// Failures of speech recognition, with the texts the user sees.
class WhisperError : public ServiceError {
public:
    enum class Kind { modelLoadFailed, transcriptionFailed, emptyAudio };

    static WhisperError modelLoadFailed(const QString& path) {
        return {Kind::modelLoadFailed,
                QStringLiteral("Could not load the transcription model at %1.").arg(path)};
    }
    static WhisperError transcriptionFailed(std::int32_t code) {
        return {Kind::transcriptionFailed,
                QStringLiteral("Transcription failed (whisper_full returned %1).").arg(code)};
    }
    static WhisperError emptyAudio() {
        return {Kind::emptyAudio, QStringLiteral("No audio was captured.")};
    }

    Kind kind() const { return m_kind; }

private:
    WhisperError(Kind kind, QString description)
        : ServiceError(std::move(description))
        , m_kind(kind) {}

    Kind m_kind;
};
