#include "llm/LlamaContext.h"

#include "AwaitTask.h"
#include "QwenModelWriter.h"
#include "llm/LlamaError.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <llama.h>

#include <memory>
#include <vector>

namespace {

const QString vocabularyPath = QStringLiteral(MURMEX_QWEN_VOCAB);

const QString systemPrompt = QStringLiteral("/no_think\nYou clean text.");
const QString userMessage = QStringLiteral("i went to the the store");

QString chatML(const QString& system, const QString& user) {
    return QStringLiteral("<|im_start|>system\n") + system +
           QStringLiteral("<|im_end|>\n<|im_start|>user\n") + user +
           QStringLiteral("<|im_end|>\n<|im_start|>assistant\n");
}

// Two tiny random-weight Qwen3 models (with and without the chat template),
// written and loaded once for the suite.
class LlamaContextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        directory = std::make_unique<QTemporaryDir>();
        modelPath = directory->filePath(QStringLiteral("tiny-qwen3.gguf"));
        noTemplatePath = directory->filePath(QStringLiteral("tiny-qwen3-no-template.gguf"));
        QwenModelOptions withoutTemplate;
        withoutTemplate.withChatTemplate = false;
        QwenModelOptions oddTemplate;
        oddTemplate.chatTemplate = QStringLiteral("{{ speak_freely }}");
        QString error;
        ASSERT_TRUE(writeQwenModel(modelPath, vocabularyPath, QwenModelDims::tiny(), {}, &error))
            << error.toStdString();
        ASSERT_TRUE(writeQwenModel(noTemplatePath, vocabularyPath, QwenModelDims::tiny(),
                                   withoutTemplate, &error))
            << error.toStdString();
        unknownTemplatePath = directory->filePath(QStringLiteral("tiny-qwen3-odd-template.gguf"));
        ASSERT_TRUE(writeQwenModel(unknownTemplatePath, vocabularyPath, QwenModelDims::tiny(),
                                   oddTemplate, &error))
            << error.toStdString();
        context = LlamaContext::load(modelPath);
    }
    static void TearDownTestSuite() {
        context.reset();
        directory.reset();
    }

    // The number of tokens `text` has for the model, as a request counts them.
    static int tokenCount(const QString& text) {
        llama_model_params params = llama_model_default_params();
        params.vocab_only = true;
        llama_model* vocabModel =
            llama_model_load_from_file(modelPath.toUtf8().constData(), params);
        const llama_vocab* vocab = llama_model_get_vocab(vocabModel);
        const QByteArray bytes = text.toUtf8();
        const int count = -llama_tokenize(
            vocab, bytes.constData(), static_cast<int32_t>(bytes.size()), nullptr, 0, true, true);
        llama_model_free(vocabModel);
        return count;
    }

    static QString generate(const QString& user, int maxNewTokens, float temperature = 0.0f) {
        return awaitTask(context->generate(systemPrompt, {}, user, maxNewTokens, temperature));
    }

    static inline std::unique_ptr<QTemporaryDir> directory;
    static inline QString modelPath;
    static inline QString noTemplatePath;
    static inline QString unknownTemplatePath;
    static inline std::shared_ptr<LlamaContext> context;
};

TEST_F(LlamaContextTest, ModelTemplateGivesOneSystemAndOneUserMessageWithoutExamples) {
    EXPECT_EQ(awaitTask(context->formattedPrompt(systemPrompt, {}, userMessage)),
              chatML(systemPrompt, userMessage));
}

TEST_F(LlamaContextTest, ExamplesComeAsUserAndAssistantTurnsBeforeTheMessage) {
    const QList<ExampleExchange> examples{{QStringLiteral("um hi"), QStringLiteral("Hi.")},
                                          {QStringLiteral("uh bye"), QStringLiteral("Bye.")}};
    const QString expected =
        QStringLiteral("<|im_start|>system\nS<|im_end|>\n"
                       "<|im_start|>user\num hi<|im_end|>\n<|im_start|>assistant\nHi.<|im_end|>\n"
                       "<|im_start|>user\nuh bye<|im_end|>\n<|im_start|>assistant\nBye.<|im_end|>\n"
                       "<|im_start|>user\nU<|im_end|>\n<|im_start|>assistant\n");
    EXPECT_EQ(
        awaitTask(context->formattedPrompt(QStringLiteral("S"), examples, QStringLiteral("U"))),
        expected);
    EXPECT_EQ(LlamaContext::chatMLPrompt(QStringLiteral("S"), examples, QStringLiteral("U")),
              expected);
}

TEST_F(LlamaContextTest, ModelWithoutTemplateFallsBackToChatML) {
    const std::shared_ptr<LlamaContext> plain = LlamaContext::load(noTemplatePath);
    const QString prompt = awaitTask(plain->formattedPrompt(systemPrompt, {}, userMessage));
    EXPECT_EQ(prompt, chatML(systemPrompt, userMessage));
    EXPECT_TRUE(prompt.endsWith(QStringLiteral("<|im_start|>assistant\n")));
    // And it still generates.
    EXPECT_NO_THROW(awaitTask(plain->generate(systemPrompt, {}, userMessage, 4, 0.0f)));
}

TEST_F(LlamaContextTest, TemplateTheLibraryRejectsFallsBackToChatML) {
    const std::shared_ptr<LlamaContext> odd = LlamaContext::load(unknownTemplatePath);
    const QList<ExampleExchange> examples{{QStringLiteral("um hi"), QStringLiteral("Hi.")}};
    EXPECT_EQ(awaitTask(odd->formattedPrompt(systemPrompt, examples, userMessage)),
              LlamaContext::chatMLPrompt(systemPrompt, examples, userMessage));
}

TEST_F(LlamaContextTest, GreedyGenerationIsDeterministicAcrossRequestsAndContexts) {
    const QString first = generate(userMessage, 12);
    EXPECT_FALSE(first.isEmpty());
    EXPECT_EQ(generate(userMessage, 12), first);
    const std::shared_ptr<LlamaContext> other = LlamaContext::load(modelPath);
    EXPECT_EQ(awaitTask(other->generate(systemPrompt, {}, userMessage, 12, 0.0f)), first);
    // Each request starts from an empty cache: a different request in
    // between changes nothing.
    generate(QStringLiteral("something else entirely"), 5);
    EXPECT_EQ(generate(userMessage, 12), first);
}

TEST_F(LlamaContextTest, TemperatureSamplingProducesText) {
    EXPECT_NO_THROW(generate(userMessage, 6, 0.8f));
}

TEST_F(LlamaContextTest, ZeroOrNegativeMaximumReturnsEmptyText) {
    EXPECT_EQ(generate(userMessage, 0), QString());
    EXPECT_EQ(generate(userMessage, -5), QString());
}

TEST_F(LlamaContextTest, PromptFillingTheWholeContextReturnsEmptyTextWithoutSampling) {
    // Single-letter words are one token each; size the message so that the
    // formatted prompt is exactly the context length.
    const int overhead = tokenCount(chatML(systemPrompt, QStringLiteral("a"))) - 1;
    int words = static_cast<int>(LlamaContext::contextLength) - overhead;
    QString message;
    for (int attempt = 0; attempt < 4; ++attempt) {
        QStringList parts(words, QStringLiteral("a"));
        message = parts.join(QLatin1Char(' '));
        const int count = tokenCount(chatML(systemPrompt, message));
        if (count == static_cast<int>(LlamaContext::contextLength)) {
            break;
        }
        words += static_cast<int>(LlamaContext::contextLength) - count;
    }
    ASSERT_EQ(tokenCount(chatML(systemPrompt, message)),
              static_cast<int>(LlamaContext::contextLength));
    EXPECT_EQ(generate(message, 50), QString());
}

TEST_F(LlamaContextTest, PromptLongerThanTheContextIsADecodeFailureWithTheLibraryCode) {
    const QString message = QStringList(9000, QStringLiteral("a")).join(QLatin1Char(' '));
    try {
        generate(message, 5);
        FAIL() << "no error";
    } catch (const LlamaError& error) {
        EXPECT_EQ(error.kind(), LlamaError::Kind::decodeFailed);
        static const QRegularExpression format(
            QStringLiteral("^Cleanup generation failed \\(llama_decode returned -?[0-9]+\\)\\.$"));
        EXPECT_TRUE(format.match(error.description()).hasMatch())
            << error.description().toStdString();
    }
    // The context stays usable.
    EXPECT_EQ(generate(userMessage, 0), QString());
}

TEST_F(LlamaContextTest, MissingFileIsModelLoadFailedWithThePath) {
    const QString path = directory->filePath(QStringLiteral("absent.gguf"));
    try {
        LlamaContext::load(path);
        FAIL() << "no error";
    } catch (const LlamaError& error) {
        EXPECT_EQ(error.kind(), LlamaError::Kind::modelLoadFailed);
        EXPECT_EQ(error.description(), QStringLiteral("Could not load the cleanup model at ") +
                                           path + QStringLiteral("."));
    }
}

TEST_F(LlamaContextTest, FileThatIsNotGgufIsModelLoadFailed) {
    const QString path = directory->filePath(QStringLiteral("not-a-model.gguf"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    try {
        LlamaContext::load(path);
        FAIL() << "no error";
    } catch (const LlamaError& error) {
        EXPECT_EQ(error.description(), QStringLiteral("Could not load the cleanup model at ") +
                                           path + QStringLiteral("."));
    }
}

TEST_F(LlamaContextTest, TruncatedModelIsModelLoadFailed) {
    const QString path = directory->filePath(QStringLiteral("truncated.gguf"));
    QFile source(modelPath);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QFile target(path);
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    target.write(source.read(source.size() / 2));
    target.close();
    EXPECT_THROW(LlamaContext::load(path), LlamaError);
}

TEST(LlamaContextThreads, ActiveProcessorsAreClampedToFourThroughEight) {
    EXPECT_EQ(LlamaContext::threadCount(1), 4);
    EXPECT_EQ(LlamaContext::threadCount(2), 4);
    EXPECT_EQ(LlamaContext::threadCount(6), 6);
    EXPECT_EQ(LlamaContext::threadCount(12), 8);
    EXPECT_EQ(LlamaContext::threadCount(16), 8);
}

TEST(LlamaErrorText, DecodeCodeIsWrittenInDecimalWithItsSign) {
    EXPECT_EQ(LlamaError::decodeFailed(-3).description(),
              QStringLiteral("Cleanup generation failed (llama_decode returned -3)."));
    EXPECT_EQ(LlamaError::decodeFailed(2).description(),
              QStringLiteral("Cleanup generation failed (llama_decode returned 2)."));
    EXPECT_EQ(LlamaError::contextCreationFailed().description(),
              QStringLiteral("Could not create the cleanup model context."));
    EXPECT_EQ(LlamaError::tokenizationFailed().description(),
              QStringLiteral("Failed to tokenize the input for cleanup."));
}

} // namespace
