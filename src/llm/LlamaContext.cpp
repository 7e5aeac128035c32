#include "llm/LlamaContext.h"

#include "common/Logging.h"
#include "common/NativeLibraries.h"
#include "llm/LlamaError.h"

#include <QThread>

#include <llama.h>

#include <algorithm>
#include <limits>

namespace {

// What llama_decode returns for a batch it cannot take.
constexpr int32_t invalidBatchCode = -1;

// Frees the sampler chain on every way out of a generation.
struct SamplerChain {
    llama_sampler* chain;
    explicit SamplerChain(float temperature)
        : chain(llama_sampler_chain_init(llama_sampler_chain_default_params())) {
        if (temperature <= 0.0f) {
            llama_sampler_chain_add(chain, llama_sampler_init_greedy());
        } else {
            llama_sampler_chain_add(chain, llama_sampler_init_temp(temperature));
            llama_sampler_chain_add(chain, llama_sampler_init_dist(LlamaContext::samplingSeed));
        }
    }
    ~SamplerChain() { llama_sampler_free(chain); }
    SamplerChain(const SamplerChain&) = delete;
    SamplerChain& operator=(const SamplerChain&) = delete;
};

} // namespace

int LlamaContext::threadCount(int activeProcessors) { return std::clamp(activeProcessors, 4, 8); }

LlamaContext::LlamaContext(llama_model* model, llama_context* context, QString modelPath)
    : m_model(model)
    , m_context(context)
    , m_vocab(llama_model_get_vocab(model))
    , m_modelPath(std::move(modelPath)) {}

LlamaContext::~LlamaContext() {
    if (m_context) {
        llama_free(m_context);
    }
    if (m_model) {
        llama_model_free(m_model);
    }
}

std::shared_ptr<LlamaContext> LlamaContext::load(const QString& modelPath) {
    NativeLibraries::initialise();
    const int threads = threadCount(QThread::idealThreadCount());

    llama_model_params modelParams = llama_model_default_params();
    modelParams.n_gpu_layers = gpuLayers;
    llama_model* model = nullptr;
    // A malformed file must never take the application down, however the
    // library reports it.
    try {
        model = llama_model_load_from_file(modelPath.toUtf8().constData(), modelParams);
    } catch (const std::exception& error) {
        qCWarning(lcCleanup).noquote() << "llama.cpp rejected" << modelPath << ":" << error.what();
        model = nullptr;
    }
    if (!model) {
        throw LlamaError::modelLoadFailed(modelPath);
    }

    llama_context_params contextParams = llama_context_default_params();
    contextParams.n_ctx = contextLength;
    contextParams.n_batch = batchSize;
    contextParams.n_threads = threads;
    contextParams.n_threads_batch = threads;
    llama_context* context = nullptr;
    try {
        context = llama_init_from_model(model, contextParams);
    } catch (const std::exception& error) {
        qCWarning(lcCleanup).noquote() << "llama.cpp context creation failed:" << error.what();
        context = nullptr;
    }
    if (!context) {
        llama_model_free(model);
        throw LlamaError::contextCreationFailed();
    }
    return std::shared_ptr<LlamaContext>(new LlamaContext(model, context, modelPath));
}

QString LlamaContext::chatMLPrompt(const QString& systemPrompt,
                                   const QList<ExampleExchange>& examples,
                                   const QString& userMessage) {
    QString prompt =
        QStringLiteral("<|im_start|>system\n") + systemPrompt + QStringLiteral("<|im_end|>\n");
    for (const ExampleExchange& example : examples) {
        prompt += QStringLiteral("<|im_start|>user\n") + example.input +
                  QStringLiteral("<|im_end|>\n<|im_start|>assistant\n") + example.output +
                  QStringLiteral("<|im_end|>\n");
    }
    prompt += QStringLiteral("<|im_start|>user\n") + userMessage +
              QStringLiteral("<|im_end|>\n<|im_start|>assistant\n");
    return prompt;
}

QString LlamaContext::formatPrompt(const QString& systemPrompt,
                                   const QList<ExampleExchange>& examples,
                                   const QString& userMessage) const {
    const char* chatTemplate = m_model ? llama_model_chat_template(m_model, nullptr) : nullptr;

    // Each role and content in its own NUL-terminated buffer, released with
    // this list on every path.
    std::vector<std::pair<QByteArray, QByteArray>> texts;
    texts.emplace_back(QByteArrayLiteral("system"), systemPrompt.toUtf8());
    for (const ExampleExchange& example : examples) {
        texts.emplace_back(QByteArrayLiteral("user"), example.input.toUtf8());
        texts.emplace_back(QByteArrayLiteral("assistant"), example.output.toUtf8());
    }
    texts.emplace_back(QByteArrayLiteral("user"), userMessage.toUtf8());

    std::vector<llama_chat_message> messages;
    std::size_t totalBytes = 0;
    for (const auto& [role, content] : texts) {
        messages.push_back({role.constData(), content.constData()});
        totalBytes += static_cast<std::size_t>(role.size() + content.size());
    }

    std::vector<char> buffer(2 * totalBytes + 512, '\0');
    int32_t length = 0;
    try {
        length = llama_chat_apply_template(chatTemplate, messages.data(), messages.size(), true,
                                           buffer.data(), static_cast<int32_t>(buffer.size()));
        if (length > static_cast<int32_t>(buffer.size())) {
            buffer.assign(static_cast<std::size_t>(length), '\0');
            length = llama_chat_apply_template(chatTemplate, messages.data(), messages.size(), true,
                                               buffer.data(), static_cast<int32_t>(buffer.size()));
        }
    } catch (const std::exception& error) {
        qCWarning(lcCleanup).noquote() << "Chat template failed:" << error.what();
        length = -1;
    }
    if (length < 1) {
        return chatMLPrompt(systemPrompt, examples, userMessage);
    }
    const auto used = std::min<std::size_t>(buffer.size(), static_cast<std::size_t>(length));
    return QString::fromUtf8(buffer.data(), static_cast<qsizetype>(used));
}

std::vector<std::int32_t> LlamaContext::tokenize(const QByteArray& text, bool addSpecial) const {
    if (!m_vocab) {
        return {};
    }
    Q_ASSERT(text.size() <= std::numeric_limits<int32_t>::max());
    const auto textLength = static_cast<int32_t>(text.size());
    const int32_t capacity = textLength + (addSpecial ? 2 : 0) + 16;
    std::vector<llama_token> tokens(static_cast<std::size_t>(capacity));
    const int32_t count = llama_tokenize(m_vocab, text.constData(), textLength, tokens.data(),
                                         capacity, addSpecial, true);
    if (count >= 0) {
        tokens.resize(static_cast<std::size_t>(std::min(capacity, count)));
        return tokens;
    }
    const int32_t needed = -count;
    tokens.assign(static_cast<std::size_t>(needed), 0);
    const int32_t again = llama_tokenize(m_vocab, text.constData(), textLength, tokens.data(),
                                         needed, addSpecial, true);
    if (again < 1) {
        return {};
    }
    tokens.resize(static_cast<std::size_t>(std::min(needed, again)));
    return tokens;
}

QByteArray LlamaContext::piece(std::int32_t token) const {
    if (!m_vocab) {
        return {};
    }
    constexpr int32_t initialSize = 64;
    QByteArray buffer(initialSize, '\0');
    const int32_t length =
        llama_token_to_piece(m_vocab, token, buffer.data(), initialSize, 0, false);
    if (length >= 0) {
        buffer.truncate(std::min(initialSize, length));
        return buffer;
    }
    const int32_t needed = -length;
    buffer = QByteArray(needed, '\0');
    const int32_t again = llama_token_to_piece(m_vocab, token, buffer.data(), needed, 0, false);
    if (again <= 0) {
        return {};
    }
    buffer.truncate(std::min(needed, again));
    return buffer;
}

QString LlamaContext::generateBlocking(const QString& systemPrompt,
                                       const QList<ExampleExchange>& examples,
                                       const QString& userMessage, int maxNewTokens,
                                       float temperature) {
    if (!m_context || !m_vocab) {
        throw LlamaError::contextCreationFailed();
    }
    llama_memory_clear(llama_get_memory(m_context), true);

    const QString prompt = formatPrompt(systemPrompt, examples, userMessage);
    std::vector<llama_token> tokens = tokenize(prompt.toUtf8(), true);
    if (tokens.empty()) {
        throw LlamaError::tokenizationFailed();
    }

    const SamplerChain sampler(temperature);
    if (!m_context) {
        throw LlamaError::contextCreationFailed();
    }
    Q_ASSERT(tokens.size() <= static_cast<std::size_t>(std::numeric_limits<int32_t>::max()));
    const auto promptLength = static_cast<int32_t>(tokens.size());
    // llama.cpp aborts the process on a batch larger than n_batch instead of
    // returning an error; such a prompt also exceeds the context (n_batch =
    // n_ctx), so it is refused here with the code the library gives an
    // invalid batch.
    if (promptLength > static_cast<int32_t>(llama_n_batch(m_context))) {
        throw LlamaError::decodeFailed(invalidBatchCode);
    }
    if (const int32_t result =
            llama_decode(m_context, llama_batch_get_one(tokens.data(), promptLength));
        result != 0) {
        throw LlamaError::decodeFailed(result);
    }

    // Pieces are joined as bytes and decoded once, so a character whose bytes
    // arrive in two tokens comes out whole.
    QByteArray output;
    const auto contextSize = static_cast<std::int64_t>(llama_n_ctx(m_context));
    if (maxNewTokens > 0 && promptLength < contextSize) {
        for (int i = 1;; ++i) {
            llama_token token = llama_sampler_sample(sampler.chain, m_context, -1);
            if (llama_vocab_is_eog(m_vocab, token)) {
                break;
            }
            output += piece(token);
            if (!m_context) {
                throw LlamaError::contextCreationFailed();
            }
            if (const int32_t result = llama_decode(m_context, llama_batch_get_one(&token, 1));
                result != 0) {
                throw LlamaError::decodeFailed(result);
            }
            if (i >= maxNewTokens || promptLength + i >= contextSize) {
                break;
            }
        }
    }
    return QString::fromUtf8(output);
}

QCoro::Task<QString> LlamaContext::generate(QString systemPrompt, QList<ExampleExchange> examples,
                                            QString userMessage, int maxNewTokens,
                                            float temperature) {
    return m_executor.run([this, systemPrompt = std::move(systemPrompt),
                           examples = std::move(examples), userMessage = std::move(userMessage),
                           maxNewTokens, temperature] {
        return generateBlocking(systemPrompt, examples, userMessage, maxNewTokens, temperature);
    });
}

QCoro::Task<QString> LlamaContext::formattedPrompt(QString systemPrompt,
                                                   QList<ExampleExchange> examples,
                                                   QString userMessage) {
    return m_executor.run([this, systemPrompt = std::move(systemPrompt),
                           examples = std::move(examples), userMessage = std::move(userMessage)] {
        return formatPrompt(systemPrompt, examples, userMessage);
    });
}
