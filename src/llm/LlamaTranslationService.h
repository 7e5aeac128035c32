#pragma once

#include <QString>
#include <qcoro/qcorotask.h>

#include <optional>

class TextCleanupService;

// The translation engine: the cleanup service's language model, so no
// second model is ever loaded for translation.
class LlamaTranslationService {
public:
    explicit LlamaTranslationService(TextCleanupService& cleanup)
        : m_cleanup(cleanup) {}

    TextCleanupService& cleanup() const { return m_cleanup; }

    // Forwards to the cleanup service's translation. Throws LlamaError or
    // TranslationError.
    QCoro::Task<QString> translate(QString text, QString target, std::optional<QString> source);

private:
    TextCleanupService& m_cleanup;
};
