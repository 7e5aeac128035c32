#pragma once

#include "llm/LlamaTranslationService.h"
#include "llm/TranslationServiceInterface.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

// Translates finished transcripts with the on-device language model for the
// dictation pipeline and the history. Checks that the model file exists,
// publishes a small state for the interface and turns empty results into
// errors. Main thread only.
class TranslationService final : public QObject, public TranslationServiceInterface {
    Q_OBJECT

public:
    struct State {
        enum class Kind { idle, translating, failed };
        Kind kind = Kind::idle;
        QString message; // only for failed

        static State idle() { return {}; }
        static State translating() { return {Kind::translating, {}}; }
        static State failed(QString message) { return {Kind::failed, std::move(message)}; }

        bool operator==(const State&) const = default;
    };

    explicit TranslationService(std::unique_ptr<LlamaTranslationService> llamaService,
                                QObject* parent = nullptr);
    ~TranslationService() override;

    State state() const { return m_state; }
    LlamaTranslationService& llamaService() const { return *m_llamaService; }

    // The trimmed translation of `text` into `target`; whitespace-only text
    // comes back unchanged. Throws TranslationError or LlamaError.
    QCoro::Task<QString> translate(QString text, QString target, std::optional<QString> source);
    QCoro::Task<QString> translate(QString text, QString target, QString source) override;

signals:
    void stateChanged(const TranslationService::State& state);

private:
    void setState(const State& state);

    State m_state;
    std::unique_ptr<LlamaTranslationService> m_llamaService;
};
