#pragma once

#include "common/ServiceError.h"

// Failures of translation, with the texts the user sees.
class TranslationError : public ServiceError {
public:
    enum class Kind { engineUnavailable, emptyResult, validationFailed };

    static inline const QString engineUnavailableMessage =
        QStringLiteral("The on-device LLM isn't downloaded. Enable Transcript Cleanup in Audio & "
                       "Transcription to download it.");

    static TranslationError engineUnavailable(QString message) {
        return {Kind::engineUnavailable, std::move(message)};
    }
    static TranslationError emptyResult() {
        return {Kind::emptyResult, QStringLiteral("Translation produced no text.")};
    }
    static TranslationError validationFailed() {
        return {Kind::validationFailed,
                QStringLiteral("Translation may have altered the meaning and was discarded.")};
    }

    Kind kind() const { return m_kind; }

private:
    TranslationError(Kind kind, QString description)
        : ServiceError(std::move(description))
        , m_kind(kind) {}

    Kind m_kind;
};
