#include "common/NativeLibraries.h"

#include <gtest/gtest.h>
#include <llama.h>
#include <whisper.h>

#include <vector>

namespace {

TEST(NativeLibrariesTest, BothLibrariesInitialiseInOneProcess) {
    NativeLibraries::initialise();
    NativeLibraries::initialise(); // a second call is harmless

    EXPECT_STREQ(whisper_version(), "1.9.1");
    EXPECT_TRUE(NativeLibraries::describe().startsWith(QStringLiteral("whisper.cpp 1.9.1, ggml ")));

    const whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    EXPECT_EQ(params.strategy, WHISPER_SAMPLING_GREEDY);
    EXPECT_EQ(whisper_lang_id("de"), 2);
    EXPECT_STREQ(whisper_lang_str(0), "en");

    // A missing model file is an error both libraries report, never a crash.
    EXPECT_EQ(whisper_init_from_file_with_params("/nonexistent/model.bin",
                                                 whisper_context_default_params()),
              nullptr);
    EXPECT_EQ(llama_model_load_from_file("/nonexistent/model.gguf", llama_model_default_params()),
              nullptr);
}

TEST(NativeLibrariesTest, LlamaTokenisesWithTheQwenVocabulary) {
    NativeLibraries::initialise();
    llama_model_params params = llama_model_default_params();
    params.vocab_only = true;
    llama_model* model = llama_model_load_from_file(MURMEX_QWEN_VOCAB, params);
    ASSERT_NE(model, nullptr);
    const llama_vocab* vocab = llama_model_get_vocab(model);
    EXPECT_EQ(llama_vocab_n_tokens(vocab), 151936);

    const std::string text = "Hello world";
    std::vector<llama_token> tokens(16);
    const int count =
        llama_tokenize(vocab, text.data(), static_cast<int32_t>(text.size()), tokens.data(),
                       static_cast<int32_t>(tokens.size()), false, false);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(tokens[0], 9707); // "Hello"
    EXPECT_EQ(tokens[1], 1879); // " world"
    EXPECT_NE(llama_model_chat_template(model, nullptr), nullptr);
    llama_model_free(model);
}

} // namespace
