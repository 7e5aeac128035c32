#include "QwenModelWriter.h"

#include <QSaveFile>

#include <ggml.h>
#include <gguf.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::size_t alignment = GGUF_DEFAULT_ALIGNMENT;
// The size of one Q4_K block of 256 weights: two f16 scales, twelve bytes of
// packed sub-block scales and 128 bytes of 4-bit weights.
constexpr std::size_t q4kBlockBytes = 144;
constexpr std::int64_t q4kBlockWeights = 256;

struct GgufDeleter {
    void operator()(gguf_context* context) const { gguf_free(context); }
};
struct GgmlDeleter {
    void operator()(ggml_context* context) const { ggml_free(context); }
};

// Deterministic uniform values (splitmix64), identical on every machine.
class Random {
public:
    explicit Random(std::uint32_t seed)
        : m_state(0x9E3779B97F4A7C15ull ^ seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [-1, 1).
    float uniform() { return static_cast<float>(next() >> 40) / 8388608.0f - 1.0f; }

private:
    std::uint64_t m_state;
};

bool fail(QString* error, const QString& message) {
    if (error) {
        *error = message;
    }
    return false;
}

// Writes the data of one tensor: norms are ones, matrices small random
// values, in the tensor's own type.
bool writeTensorData(QSaveFile& file, const ggml_tensor* tensor, Random& random) {
    const std::int64_t count = ggml_nelements(tensor);
    constexpr std::int64_t chunk = std::int64_t{1} << 20;
    std::vector<char> bytes;
    for (std::int64_t first = 0; first < count; first += chunk) {
        const std::int64_t n = std::min(chunk, count - first);
        if (tensor->type == GGML_TYPE_F32) {
            std::vector<float> values(static_cast<std::size_t>(n), 1.0f);
            bytes.assign(reinterpret_cast<const char*>(values.data()),
                         reinterpret_cast<const char*>(values.data() + n));
        } else if (tensor->type == GGML_TYPE_F16) {
            std::vector<float> values(static_cast<std::size_t>(n));
            for (float& value : values) {
                value = 0.08f * random.uniform();
            }
            std::vector<ggml_fp16_t> halves(static_cast<std::size_t>(n));
            ggml_fp32_to_fp16_row(values.data(), halves.data(), n);
            bytes.assign(reinterpret_cast<const char*>(halves.data()),
                         reinterpret_cast<const char*>(halves.data() + n));
        } else {
            // Q4_K: random 4-bit weights and sub-block scales under small,
            // finite block scales.
            const std::int64_t blocks = n / q4kBlockWeights;
            bytes.resize(static_cast<std::size_t>(blocks) * q4kBlockBytes);
            for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
                const std::uint64_t word = random.next();
                std::memcpy(bytes.data() + i, &word, 8);
            }
            const ggml_fp16_t scale = ggml_fp32_to_fp16(0.002f);
            const ggml_fp16_t minimum = ggml_fp32_to_fp16(0.001f);
            for (std::int64_t b = 0; b < blocks; ++b) {
                char* block = bytes.data() + b * static_cast<std::int64_t>(q4kBlockBytes);
                std::memcpy(block, &scale, 2);
                std::memcpy(block + 2, &minimum, 2);
            }
        }
        if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size())) {
            return false;
        }
    }
    const std::size_t size = ggml_nbytes(tensor);
    const std::size_t padding = GGML_PAD(size, alignment) - size;
    if (padding > 0) {
        const std::vector<char> zeros(padding, '\0');
        return file.write(zeros.data(), static_cast<qint64>(padding)) ==
               static_cast<qint64>(padding);
    }
    return true;
}

} // namespace

QwenModelDims QwenModelDims::tiny() { return {}; }

QwenModelDims QwenModelDims::qwen3_1_7B() {
    QwenModelDims dims;
    dims.embedding = 2048;
    dims.layers = 28;
    dims.heads = 16;
    dims.headsKV = 8;
    dims.headDim = 128;
    dims.feedForward = 6144;
    dims.contextLength = 40960;
    dims.quantized = true;
    return dims;
}

bool writeQwenModel(const QString& path, const QString& vocabularyPath, const QwenModelDims& dims,
                    const QwenModelOptions& options, QString* error) {
    gguf_init_params readParams{true, nullptr};
    const std::unique_ptr<gguf_context, GgufDeleter> vocabulary(
        gguf_init_from_file(vocabularyPath.toUtf8().constData(), readParams));
    if (!vocabulary) {
        return fail(error, QStringLiteral("Cannot read the vocabulary %1").arg(vocabularyPath));
    }
    const std::int64_t tokensKey = gguf_find_key(vocabulary.get(), "tokenizer.ggml.tokens");
    if (tokensKey < 0) {
        return fail(error, QStringLiteral("%1 has no tokens").arg(vocabularyPath));
    }
    const auto vocabularySize =
        static_cast<std::int64_t>(gguf_get_arr_n(vocabulary.get(), tokensKey));

    const std::unique_ptr<gguf_context, GgufDeleter> model(gguf_init_empty());
    gguf_set_kv(model.get(), vocabulary.get());
    // The vocabulary file describes its own (absent) model: drop its
    // hyper-parameters and describe ours.
    std::vector<std::string> foreignKeys;
    for (std::int64_t i = 0; i < gguf_get_n_kv(model.get()); ++i) {
        const std::string key = gguf_get_key(model.get(), i);
        if (key.rfind("qwen2.", 0) == 0) {
            foreignKeys.push_back(key);
        }
    }
    for (const std::string& key : foreignKeys) {
        gguf_remove_key(model.get(), key.c_str());
    }
    if (!options.withChatTemplate) {
        gguf_remove_key(model.get(), "tokenizer.chat_template");
    } else if (!options.chatTemplate.isEmpty()) {
        gguf_set_val_str(model.get(), "tokenizer.chat_template",
                         options.chatTemplate.toUtf8().constData());
    }
    gguf_set_val_str(model.get(), "general.architecture", "qwen3");
    gguf_set_val_str(model.get(), "general.name", "murmex-test-qwen3");
    gguf_set_val_u32(model.get(), "general.file_type", dims.quantized ? 15 : 1);
    const auto u32 = [](int value) { return static_cast<std::uint32_t>(value); };
    gguf_set_val_u32(model.get(), "qwen3.context_length", u32(dims.contextLength));
    gguf_set_val_u32(model.get(), "qwen3.embedding_length", u32(dims.embedding));
    gguf_set_val_u32(model.get(), "qwen3.block_count", u32(dims.layers));
    gguf_set_val_u32(model.get(), "qwen3.feed_forward_length", u32(dims.feedForward));
    gguf_set_val_u32(model.get(), "qwen3.attention.head_count", u32(dims.heads));
    gguf_set_val_u32(model.get(), "qwen3.attention.head_count_kv", u32(dims.headsKV));
    gguf_set_val_u32(model.get(), "qwen3.attention.key_length", u32(dims.headDim));
    gguf_set_val_u32(model.get(), "qwen3.attention.value_length", u32(dims.headDim));
    gguf_set_val_f32(model.get(), "qwen3.rope.freq_base", 1000000.0f);
    gguf_set_val_f32(model.get(), "qwen3.attention.layer_norm_rms_epsilon", 1e-6f);

    // Tensor descriptions only; the data is streamed to the file below.
    const std::size_t tensorCount = 2 + 11 * static_cast<std::size_t>(dims.layers);
    ggml_init_params contextParams{tensorCount * ggml_tensor_overhead() + 1024, nullptr, true};
    const std::unique_ptr<ggml_context, GgmlDeleter> tensors(ggml_init(contextParams));
    const ggml_type matrixType = dims.quantized ? GGML_TYPE_Q4_K : GGML_TYPE_F16;
    std::vector<ggml_tensor*> order;
    const auto add = [&](const std::string& name, ggml_type type, std::int64_t ne0,
                         std::int64_t ne1) {
        ggml_tensor* tensor = ne1 > 0 ? ggml_new_tensor_2d(tensors.get(), type, ne0, ne1)
                                      : ggml_new_tensor_1d(tensors.get(), GGML_TYPE_F32, ne0);
        ggml_set_name(tensor, name.c_str());
        gguf_add_tensor(model.get(), tensor);
        order.push_back(tensor);
    };
    const std::int64_t queryWidth = std::int64_t{dims.heads} * dims.headDim;
    const std::int64_t keyWidth = std::int64_t{dims.headsKV} * dims.headDim;
    add("token_embd.weight", matrixType, dims.embedding, vocabularySize);
    add("output_norm.weight", GGML_TYPE_F32, dims.embedding, 0);
    for (int layer = 0; layer < dims.layers; ++layer) {
        const std::string prefix = "blk." + std::to_string(layer) + ".";
        add(prefix + "attn_norm.weight", GGML_TYPE_F32, dims.embedding, 0);
        add(prefix + "attn_q.weight", matrixType, dims.embedding, queryWidth);
        add(prefix + "attn_k.weight", matrixType, dims.embedding, keyWidth);
        add(prefix + "attn_v.weight", matrixType, dims.embedding, keyWidth);
        add(prefix + "attn_output.weight", matrixType, queryWidth, dims.embedding);
        add(prefix + "attn_q_norm.weight", GGML_TYPE_F32, dims.headDim, 0);
        add(prefix + "attn_k_norm.weight", GGML_TYPE_F32, dims.headDim, 0);
        add(prefix + "ffn_norm.weight", GGML_TYPE_F32, dims.embedding, 0);
        add(prefix + "ffn_gate.weight", matrixType, dims.embedding, dims.feedForward);
        add(prefix + "ffn_up.weight", matrixType, dims.embedding, dims.feedForward);
        add(prefix + "ffn_down.weight", matrixType, dims.feedForward, dims.embedding);
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return fail(error, QStringLiteral("Cannot write %1").arg(path));
    }
    std::vector<char> meta(gguf_get_meta_size(model.get()));
    gguf_get_meta_data(model.get(), meta.data());
    bool ok = file.write(meta.data(), static_cast<qint64>(meta.size())) ==
              static_cast<qint64>(meta.size());
    Random random(options.seed);
    for (const ggml_tensor* tensor : order) {
        ok = ok && writeTensorData(file, tensor, random);
    }
    if (!ok || !file.commit()) {
        return fail(error, QStringLiteral("Cannot write %1").arg(path));
    }
    return true;
}
