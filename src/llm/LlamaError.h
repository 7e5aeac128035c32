#pragma once

#include "common/ServiceError.h"

#include <cstdint>

// Failures of the language-model runtime, with the texts the user sees.
class LlamaError : public ServiceError {
public:
    enum class Kind { modelLoadFailed, decodeFailed, contextCreationFailed, tokenizationFailed };

    static LlamaError modelLoadFailed(const QString& path) {
        return {Kind::modelLoadFailed,
                QStringLiteral("Could not load the cleanup model at %1.").arg(path)};
    }
    static LlamaError decodeFailed(std::int32_t code) {
        return {Kind::decodeFailed,
                QStringLiteral("Cleanup generation failed (llama_decode returned %1).").arg(code)};
    }
    static LlamaError contextCreationFailed() {
        return {Kind::contextCreationFailed,
                QStringLiteral("Could not create the cleanup model context.")};
    }
    static LlamaError tokenizationFailed() {
        return {Kind::tokenizationFailed,
                QStringLiteral("Failed to tokenize the input for cleanup.")};
    }

    Kind kind() const { return m_kind; }

private:
    LlamaError(Kind kind, QString description)
        : ServiceError(std::move(description))
        , m_kind(kind) {}

    Kind m_kind;
};
