#pragma once

#include "common/ServiceError.h"

#include <QString>

// Why the microphone could not be started. Each case has one fixed message
// that the dictation pipeline shows as it is.
class AudioRecorderError : public ServiceError {
public:
    enum class Case {
        engineStartFailed,
        converterUnavailable,
        invalidInputFormat,
    };

    // The audio system refused to capture; `detail` says why in its words.
    static AudioRecorderError engineStartFailed(const QString& detail) {
        return AudioRecorderError(Case::engineStartFailed,
                                  QStringLiteral("Could not start the microphone: ") + detail);
    }
    // No converter exists from the input's format to speech samples.
    static AudioRecorderError converterUnavailable() {
        return AudioRecorderError(Case::converterUnavailable,
                                  QStringLiteral("Could not set up audio conversion."));
    }
    // The input reports no channels or no sample rate yet.
    static AudioRecorderError invalidInputFormat() {
        return AudioRecorderError(
            Case::invalidInputFormat,
            QStringLiteral("The selected microphone isn't ready yet. Try again."));
    }

    Case errorCase() const { return m_case; }

private:
    AudioRecorderError(Case errorCase, QString description)
        : ServiceError(std::move(description))
        , m_case(errorCase) {}

    Case m_case;
};
