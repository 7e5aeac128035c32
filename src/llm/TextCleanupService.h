#pragma once

#include "llm/TextCleanupServiceInterface.h"
#include "llm/TextGenerator.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class AppSettings;

// Polishes dictated transcripts with the on-device language model without
// answering or obeying what was said, and hosts the model side of
// translation. Owns the model's life: loads it on demand, drops it on
// request. A failure never loses the user's words: cleanup then returns its
// input exactly as passed. Main thread only; the model runs on its own
// worker thread.
class TextCleanupService final : public QObject, public TextCleanupServiceInterface {
    Q_OBJECT

public:
    struct State {
        enum class Kind { unloaded, loading, ready, cleaning, failed };
        Kind kind = Kind::unloaded;
        QString message; // only for failed

        static State unloaded() { return {}; }
        static State loading() { return {Kind::loading, {}}; }
        static State ready() { return {Kind::ready, {}}; }
        static State cleaning() { return {Kind::cleaning, {}}; }
        static State failed(QString message) { return {Kind::failed, std::move(message)}; }

        bool operator==(const State&) const = default;
    };

    // Loads the model file at a path. Blocking; runs off the main thread.
    // Throws LlamaError. By default it creates a LlamaContext.
    using ModelLoader = std::function<std::shared_ptr<TextGenerator>(const QString& path)>;

    static inline const QString modelNotDownloadedMessage =
        QStringLiteral("Cleanup model not downloaded.");
    static constexpr int minWordCount = 4;

    static const QString cleanupSystemPrompt;
    static const QString userMessageSuffix;
    static const QList<ExampleExchange> cleanupExamples;
    // The sterner prompt of the second attempt.
    static const QString& cleanupRetrySystemPrompt();
    // The system prompt of a translation into `targetName`, optionally from
    // `sourceName`; `retry` prepends the warning of the second attempt.
    static QString translationSystemPrompt(const QString& targetName,
                                           const std::optional<QString>& sourceName, bool retry);

    // `modelPath` is the cleanup model file (by default the catalog's
    // location); `loader` opens it.
    explicit TextCleanupService(AppSettings& settings, QString modelPath = {},
                                ModelLoader loader = {}, QObject* parent = nullptr);
    ~TextCleanupService() override;

    State state() const { return m_state; }
    QString modelPath() const { return m_modelPath; }
    bool isLoaded() const { return m_context != nullptr; }
    std::int64_t loadGeneration() const { return m_loadGeneration; }

    // Loads the model when its file exists; concurrent callers share one
    // load. Never throws: the outcome is in state().
    QCoro::Task<> ensureLoaded() override;
    // Drops the model; a request in progress keeps it until it ends, and a
    // load in progress finishes into nothing.
    void unload();

    // The cleaned transcript, or `text` exactly as passed when cleanup is
    // skipped, fails or is rejected. Never throws.
    QCoro::Task<QString> clean(QString text) override;

    // Translates `text` into the language `target` (a code), from `source`
    // when given and not "auto". Throws LlamaError or TranslationError.
    QCoro::Task<QString> translate(QString text, std::optional<QString> source, QString target);

    // Accepts or rejects a sanitised output, with the model loaded now as the
    // judge.
    QCoro::Task<bool> validateOutput(QString input, QString output, bool isTranslation);

    // New-token budget for a text: about two tokens per three UTF-8 bytes
    // plus 256, from 288 up to 4096.
    static int maxNewTokens(const QString& text);
    // Strips think blocks, an announcing first line, and one pair of quotes
    // around the whole output.
    static QString sanitizeOutput(const QString& output);

signals:
    void stateChanged(const TextCleanupService::State& state);

private:
    void setState(const State& state);
    // Back to ready after a request, unless something (an unload) changed
    // the state meanwhile.
    void finishRequest();

    State m_state;
    AppSettings& m_settings;
    QString m_modelPath;
    ModelLoader m_loader;
    std::shared_ptr<TextGenerator> m_context;
    std::optional<QFuture<void>> m_inFlightLoad;
    std::int64_t m_loadGeneration = 0;
};
