#pragma once

#include "common/SerialExecutor.h"
#include "llm/TextGenerator.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

struct llama_context;
struct llama_model;
struct llama_vocab;

// One loaded GGUF language model with its inference context. Every request
// runs on the context's own worker thread, one at a time, and starts from an
// empty cache; callers await the result on their thread. Whoever awaits a
// request keeps a reference to the context until it ends.
class LlamaContext final : public TextGenerator {
public:
    static constexpr int gpuLayers = 99;
    static constexpr std::uint32_t contextLength = 8192;
    static constexpr std::uint32_t batchSize = 8192;
    static constexpr std::uint32_t samplingSeed = 4294967295u;

    // Loads the model and creates the context. Blocking: call it off the main
    // thread. Throws LlamaError::modelLoadFailed or contextCreationFailed.
    static std::shared_ptr<LlamaContext> load(const QString& modelPath);

    ~LlamaContext() override;
    LlamaContext(const LlamaContext&) = delete;
    LlamaContext& operator=(const LlamaContext&) = delete;

    QString modelPath() const { return m_modelPath; }

    QCoro::Task<QString> generate(QString systemPrompt, QList<ExampleExchange> examples,
                                  QString userMessage, int maxNewTokens,
                                  float temperature) override;

    // The prompt text a request would decode, for diagnostics and tests.
    QCoro::Task<QString> formattedPrompt(QString systemPrompt, QList<ExampleExchange> examples,
                                         QString userMessage);

    // The same generation, run on the calling thread. Only for tools that own
    // the context alone (benchmarks); the application uses generate().
    QString generateBlocking(const QString& systemPrompt, const QList<ExampleExchange>& examples,
                             const QString& userMessage, int maxNewTokens, float temperature);

    // Active processors raised to at least 4 and limited to at most 8.
    static int threadCount(int activeProcessors);
    // The chat in the ChatML form, for models without a usable template.
    static QString chatMLPrompt(const QString& systemPrompt, const QList<ExampleExchange>& examples,
                                const QString& userMessage);

private:
    LlamaContext(llama_model* model, llama_context* context, QString modelPath);

    QString formatPrompt(const QString& systemPrompt, const QList<ExampleExchange>& examples,
                         const QString& userMessage) const;
    std::vector<std::int32_t> tokenize(const QByteArray& text, bool addSpecial) const;
    QByteArray piece(std::int32_t token) const;

    llama_model* m_model = nullptr;
    llama_context* m_context = nullptr;
    const llama_vocab* m_vocab = nullptr;
    const QString m_modelPath;
    SerialExecutor m_executor;
};
