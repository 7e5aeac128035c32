#include "llm/LlamaTranslationService.h"

#include "llm/TextCleanupService.h"

QCoro::Task<QString> LlamaTranslationService::translate(QString text, QString target,
                                                        std::optional<QString> source) {
    return m_cleanup.translate(std::move(text), std::move(source), std::move(target));
}
