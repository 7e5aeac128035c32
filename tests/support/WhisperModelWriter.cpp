#include "WhisperModelWriter.h"

#include <QFile>
#include <QSaveFile>

#include <ggml.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

static_assert(std::endian::native == std::endian::little,
              "the ggml model format is little-endian; this writer stores native values");

namespace {

// Bins of the 400-point FFT over 16 kHz audio that the mel filters weigh.
constexpr int fftBins = 201;
constexpr double sampleRate = 16000.0;
constexpr int fftSize = 400;
// GGML_FTYPE_MOSTLY_F16: matrices in f16, vectors in f32.
constexpr std::int32_t ftypeMostlyF16 = 1;
// Vocabulary sizes from which the loader lays out the special tokens.
constexpr int englishVocab = 51864;
constexpr int multilingualVocab = 51865;

// Elements generated and written per chunk.
constexpr qint64 chunkElements = qint64{1} << 20;

struct TensorSpec {
    std::string name;
    ggml_type type;
    std::vector<std::int32_t> ne; // ggml order: ne[0] varies fastest
    float offset;                 // values are offset + amplitude * uniform(-1, 1)
    float amplitude;
    // Optional change to the values from element `first` on, after scaling.
    std::function<void(qint64 first, float* values, qint64 count)> adjust = {};

    qint64 elements() const {
        qint64 count = 1;
        for (const std::int32_t n : ne) {
            count *= n;
        }
        return count;
    }
    qint64 dataBytes() const { return elements() * (type == GGML_TYPE_F16 ? 2 : 4); }
    qint64 headerBytes() const {
        return 3 * 4 + static_cast<qint64>(ne.size()) * 4 + static_cast<qint64>(name.size());
    }
};

// Deterministic stream of uniform values (splitmix64): fast enough for the
// 800 million weights of the largest model and identical on every machine.
class UniformStream {
public:
    explicit UniformStream(std::uint32_t seed)
        : m_state(0x9E3779B97F4A7C15ull ^ (std::uint64_t{seed} << 17 | seed)) {}

    // Fills `out` with values in [-1, 1).
    void fill(float* out, qint64 count) {
        qint64 i = 0;
        for (; i + 1 < count; i += 2) {
            const std::uint64_t bits = next();
            out[i] = toUnit(static_cast<std::uint32_t>(bits));
            out[i + 1] = toUnit(static_cast<std::uint32_t>(bits >> 32));
        }
        if (i < count) {
            out[i] = toUnit(static_cast<std::uint32_t>(next()));
        }
    }

private:
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    static float toUnit(std::uint32_t bits) {
        return static_cast<float>(bits >> 8) * (2.0f / 16777216.0f) - 1.0f;
    }

    std::uint64_t m_state;
};

bool isMultilingual(const WhisperModelDims& dims) { return dims.nVocab >= multilingualVocab; }

// Ids the loader gives the special tokens (see whisper_vocab in whisper.cpp).
struct SpecialTokens {
    int eot;
    int sot;
    int translate;
    int transcribe;
    int beg;
    int lastTimestamp;
};

SpecialTokens specialTokens(const WhisperModelDims& dims) {
    const bool multilingual = isMultilingual(dims);
    const int languages = dims.nVocab - 51765 - (multilingual ? 1 : 0);
    const int shift = multilingual ? languages - 98 : 0;
    const int eot = multilingual ? 50257 : 50256;
    return {eot, eot + 1, 50357 + shift, 50358 + shift, 50363 + shift, dims.nVocab - 1};
}

// Steering of the decoder.
//
// Random weights alone make a decoder that never commits: every token is
// about as likely as any other, so whisper_full rejects each window on its
// average log-probability, falls back through all its temperatures and
// samples up to 220 tokens at each (tens of seconds even for the tiny
// model), and a benchmark would time that instead of the real model's work.
// A few decoder weights are therefore set so that greedy decoding behaves
// like a real model on speech, whatever the prompt before it:
// - after the task token (or <|startoftranscript|>) it opens with <|0.00|>;
// - then it writes text tokens chosen by the random weights (and so by the
//   audio), confidently, because one text token in eight is "frequent" and
//   stands out of the others' logits;
// - after one of the "final" text tokens (one in twelve, so about a dozen
//   tokens per window) it closes with <|30.00|>, which ends the window;
// - if the window goes on, end-of-text follows.
// The first text coordinates carry this: the token embedding (tied to the
// output projection) marks the special tokens on them, the first decoder
// block's MLP turns "this input is a task token" and "this input is a final
// token" into large values on the coordinates <|0.00|> and <|30.00|> point
// along, and every other sublayer and the positional embedding leave these
// coordinates alone. All logits stay below about 60: whisper.cpp 1.9.1
// computes the no-speech probability from a logits row of another position,
// and a gap of more than about 87 between the two rows underflows it.
namespace steering {

// Coordinates of the text width.
constexpr int begOut = 0;   // read by <|0.00|>'s logit
constexpr int closeOut = 1; // read by <|30.00|>'s logit
constexpr int startIn = 2;  // set by the task tokens' embedding
constexpr int finalIn = 3;  // set by the final text tokens' embedding
constexpr int eotBias = 4;  // constant end-of-text logit
constexpr int reservedCoordinates = 5;
// Hidden units of the first decoder block's MLP.
constexpr int startUnit = 0;
constexpr int finalUnit = 1;

// Amplitude of the token embedding times the square root of the width.
// Small, because the embedding is also the output projection: the input
// token's own embedding in the state raises its own logit by about
// gain * |embedding|^2, and a larger one makes the decoder repeat a token.
constexpr float tokenScale = 0.1f;
// Standard deviation of an ordinary text token's logit, and the factor for
// the frequent ones.
constexpr float logitSpread = 10.0f;
constexpr float frequentScale = 1.5f;
// Logit of <|0.00|> and <|30.00|> where they are steered to, and of
// end-of-text everywhere: above the other tokens where the steering acts,
// far below the best frequent token elsewhere.
constexpr float steeredLogit = 40.0f;
constexpr float eotLogit = 30.0f;
// Embedding value that marks an input token for the MLP.
constexpr float markerInput = 8.0f;

float tokenAmplitude(int width) { return tokenScale / std::sqrt(static_cast<float>(width)); }

// The normalised state has unit variance per coordinate, and a uniform
// embedding entry has standard deviation amplitude / sqrt(3): the final
// norm's gain that gives text logits the wanted spread.
float outputGain(int width) {
    return logitSpread * std::sqrt(3.0f) /
           (tokenAmplitude(width) * std::sqrt(static_cast<float>(width)));
}

// Embedding value on begOut / closeOut that gives the steered logit once
// the coordinate dominates the normalised state (value sqrt(width)).
float steeringWeight(int width) {
    return steeredLogit / (outputGain(width) * std::sqrt(static_cast<float>(width)));
}

std::uint32_t tokenHash(qint64 token) {
    std::uint64_t z = static_cast<std::uint64_t>(token) * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 31)) * 0xBF58476D1CE4E5B9ull;
    return static_cast<std::uint32_t>(z >> 32);
}

bool isFrequent(qint64 token, const SpecialTokens& special) {
    return token < special.eot && tokenHash(token) % 8 == 0;
}

bool isFinal(qint64 token, const SpecialTokens& special) {
    return token < special.eot && (tokenHash(token) >> 8) % 12 == 0;
}

// Callbacks for TensorSpec::adjust; `width` is the text width.
using Adjust = std::function<void(qint64 first, float* values, qint64 count)>;

Adjust tokenEmbedding(const WhisperModelDims& dims) {
    return [dims](qint64 first, float* values, qint64 count) {
        const SpecialTokens special = specialTokens(dims);
        const int width = dims.nTextState;
        const float weight = steeringWeight(width);
        for (qint64 index = first; index < first + count; ++index) {
            const qint64 token = index / width;
            const qint64 coordinate = index % width;
            float& value = values[index - first];
            if (coordinate >= reservedCoordinates) {
                if (token >= special.eot) {
                    value *= 0.5f; // special tokens stay behind unless steered
                } else if (isFrequent(token, special)) {
                    value *= frequentScale;
                }
                continue;
            }
            value = 0.0f;
            if (coordinate == begOut && token == special.beg) {
                value = weight;
            } else if (coordinate == closeOut && token == special.lastTimestamp) {
                value = weight;
            } else if (coordinate == startIn &&
                       (token == special.sot || token == special.translate ||
                        token == special.transcribe)) {
                value = markerInput;
            } else if (coordinate == finalIn && isFinal(token, special)) {
                value = markerInput;
            } else if (coordinate == eotBias && token == special.eot) {
                value = 1.0f;
            }
        }
    };
}

// Zeroes the reserved coordinates of every row of `rowLength` elements
// (positional embedding) or the first rows (outputs of a sublayer: a row of
// a ggml weight holds the weights of one output).
Adjust clearReserved(qint64 rowLength, bool reservedAreRows) {
    return [rowLength, reservedAreRows](qint64 first, float* values, qint64 count) {
        for (qint64 index = first; index < first + count; ++index) {
            const qint64 position = reservedAreRows ? index / rowLength : index % rowLength;
            if (position < reservedCoordinates) {
                values[index - first] = 0.0f;
            }
        }
    };
}

Adjust finalNormGain(int width) {
    return [width](qint64 first, float* values, qint64 count) {
        for (qint64 index = first; index < first + count; ++index) {
            float& value = values[index - first];
            if (index == begOut || index == closeOut) {
                value = outputGain(width);
            } else if (index == startIn || index == finalIn) {
                value = 1.0f; // the markers barely move their own tokens' logits
            } else if (index == eotBias) {
                value = 0.0f;
            }
        }
    };
}

Adjust finalNormBias() {
    return [](qint64 first, float* values, qint64 count) {
        for (qint64 index = first; index < std::min<qint64>(first + count, reservedCoordinates);
             ++index) {
            values[index - first] = index == eotBias ? eotLogit : 0.0f;
        }
    };
}

// First block, mlp.0: the two steering units read one marker coordinate.
Adjust markerDetectorWeights(int width) {
    return [width](qint64 first, float* values, qint64 count) {
        for (qint64 index = first; index < first + count; ++index) {
            const qint64 unit = index / width;
            const qint64 coordinate = index % width;
            if (unit == startUnit) {
                values[index - first] = coordinate == startIn ? 1.0f : 0.0f;
            } else if (unit == finalUnit) {
                values[index - first] = coordinate == finalIn ? 1.0f : 0.0f;
            }
        }
    };
}

Adjust markerDetectorBias() {
    return [](qint64 first, float* values, qint64 count) {
        for (qint64 index = first; index < std::min<qint64>(first + count, 2); ++index) {
            values[index - first] = -1.0f; // quiet unless the marker is there
        }
    };
}

// mlp.2 of every block: no output on the reserved coordinates; in the first
// block the steering units write only to begOut and closeOut, strongly
// enough to dominate the final norm.
Adjust mlpOutput(int width, bool firstBlock) {
    return [width, firstBlock](qint64 first, float* values, qint64 count) {
        const qint64 hidden = qint64{4} * width;
        const float push = 2.0f * std::sqrt(static_cast<float>(width));
        for (qint64 index = first; index < first + count; ++index) {
            const qint64 output = index / hidden;
            const qint64 unit = index % hidden;
            float& value = values[index - first];
            if (output < reservedCoordinates) {
                value = 0.0f;
            }
            if (firstBlock && (unit == startUnit || unit == finalUnit)) {
                value = 0.0f;
                if ((unit == startUnit && output == begOut) ||
                    (unit == finalUnit && output == closeOut)) {
                    value = push;
                }
            }
        }
    };
}

} // namespace steering

// Text tokens stored in the file: every id below end-of-text. The loader
// names the special tokens after them ([_EOT_], [_SOT_], languages,
// timestamps) itself, as it does for the published models.
int storedTokenCount(const WhisperModelDims& dims) { return specialTokens(dims).eot; }

void appendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// The first 256 ids of whisper's byte-level vocabulary are single bytes in
// GPT-2's order: the printable bytes first, then the others, which puts the
// space at id 220. Printable ASCII is stored as itself; the other bytes as
// the printable character GPT-2 shows them as, so every token is valid UTF-8.
std::vector<std::string> byteTokens() {
    std::vector<int> bytes;
    for (int b = '!'; b <= '~'; ++b) {
        bytes.push_back(b);
    }
    for (int b = 0xA1; b <= 0xAC; ++b) {
        bytes.push_back(b);
    }
    for (int b = 0xAE; b <= 0xFF; ++b) {
        bytes.push_back(b);
    }
    std::vector<char32_t> shownAs(256, 0);
    for (const int b : bytes) {
        shownAs[static_cast<std::size_t>(b)] = static_cast<char32_t>(b);
    }
    char32_t extra = 256;
    for (int b = 0; b < 256; ++b) {
        if (shownAs[static_cast<std::size_t>(b)] == 0) {
            bytes.push_back(b);
            shownAs[static_cast<std::size_t>(b)] = extra++;
        }
    }
    std::vector<std::string> tokens;
    tokens.reserve(256);
    for (const int b : bytes) {
        std::string token;
        if (b >= ' ' && b <= '~') {
            token += static_cast<char>(b);
        } else {
            appendUtf8(token, shownAs[static_cast<std::size_t>(b)]);
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

// Ids from 256 on are made-up words of two-letter syllables, every other one
// with a leading space as most real tokens have. Distinct numbers give
// distinct syllable strings, so no two tokens are equal.
std::string wordToken(int id) {
    static constexpr char consonants[] = "bdfgklmnprstvz";
    static constexpr char vowels[] = "aeiou";
    constexpr int nConsonants = sizeof(consonants) - 1;
    constexpr int nSyllables = nConsonants * (sizeof(vowels) - 1);
    const int index = id - 256;
    int number = index / 2;
    std::string syllables;
    do {
        const int syllable = number % nSyllables;
        syllables.insert(syllables.begin(), vowels[syllable / nConsonants]);
        syllables.insert(syllables.begin(), consonants[syllable % nConsonants]);
        number /= nSyllables;
    } while (number > 0);
    return index % 2 == 0 ? " " + syllables : syllables;
}

std::vector<std::string> vocabulary(const WhisperModelDims& dims) {
    std::vector<std::string> tokens = byteTokens();
    const int count = storedTokenCount(dims);
    tokens.reserve(static_cast<std::size_t>(count));
    for (int id = 256; id < count; ++id) {
        tokens.push_back(wordToken(id));
    }
    return tokens;
}

// Slaney-style mel filter bank (as librosa and whisper's own assets compute
// it): triangular, area-normalised, non-negative weights over the FFT bins.
std::vector<float> melFilters(int nMels) {
    const auto hzToMel = [](double hz) {
        constexpr double linearStep = 200.0 / 3.0;
        constexpr double logStartHz = 1000.0;
        const double logStep = std::log(6.4) / 27.0;
        return hz < logStartHz ? hz / linearStep
                               : logStartHz / linearStep + std::log(hz / logStartHz) / logStep;
    };
    const auto melToHz = [](double mel) {
        constexpr double linearStep = 200.0 / 3.0;
        constexpr double logStartMel = 1000.0 / linearStep;
        const double logStep = std::log(6.4) / 27.0;
        return mel < logStartMel ? mel * linearStep
                                 : 1000.0 * std::exp(logStep * (mel - logStartMel));
    };
    const double maxMel = hzToMel(sampleRate / 2.0);
    std::vector<double> edges(static_cast<std::size_t>(nMels) + 2);
    for (std::size_t i = 0; i < edges.size(); ++i) {
        edges[i] = melToHz(maxMel * static_cast<double>(i) / static_cast<double>(nMels + 1));
    }
    std::vector<float> filters(static_cast<std::size_t>(nMels) * fftBins, 0.0f);
    for (int m = 0; m < nMels; ++m) {
        const auto i = static_cast<std::size_t>(m);
        const double norm = 2.0 / (edges[i + 2] - edges[i]);
        for (int k = 0; k < fftBins; ++k) {
            const double hz = k * sampleRate / fftSize;
            const double rising = (hz - edges[i]) / (edges[i + 1] - edges[i]);
            const double falling = (edges[i + 2] - hz) / (edges[i + 2] - edges[i + 1]);
            const double weight = std::max(0.0, std::min(rising, falling)) * norm;
            filters[i * fftBins + static_cast<std::size_t>(k)] = static_cast<float>(weight);
        }
    }
    return filters;
}

// Exactly the tensors whisper.cpp's loader creates, with its shapes and
// types; it rejects a file with a missing, extra or differently shaped one.
std::vector<TensorSpec> tensorSpecs(const WhisperModelDims& d) {
    std::vector<TensorSpec> specs;
    const auto matrix = [&](std::string name, std::vector<std::int32_t> ne) {
        // Uniform weights scaled by the fan-in keep activations near unit size.
        const qint64 fanIn = ne.size() == 3 ? qint64{ne[0]} * ne[1] : ne[0];
        const float amplitude = 1.0f / std::sqrt(static_cast<float>(fanIn));
        specs.push_back({std::move(name), GGML_TYPE_F16, std::move(ne), 0.0f, amplitude});
    };
    const auto vector = [&](std::string name, std::vector<std::int32_t> ne, float offset,
                            float amplitude) {
        specs.push_back({std::move(name), GGML_TYPE_F32, std::move(ne), offset, amplitude});
    };
    const auto norm = [&](const std::string& prefix, int width) {
        vector(prefix + ".weight", {width}, 1.0f, 0.05f);
        vector(prefix + ".bias", {width}, 0.0f, 0.02f);
    };
    const auto linear = [&](const std::string& prefix, int in, int out, bool bias) {
        matrix(prefix + ".weight", {in, out});
        if (bias) {
            vector(prefix + ".bias", {out}, 0.0f, 0.02f);
        }
    };
    const auto attention = [&](const std::string& prefix, int width) {
        linear(prefix + ".query", width, width, true);
        linear(prefix + ".key", width, width, false);
        linear(prefix + ".value", width, width, true);
        linear(prefix + ".out", width, width, true);
    };

    const int audio = d.nAudioState;
    vector("encoder.positional_embedding", {audio, d.nAudioCtx}, 0.0f, 0.1f);
    matrix("encoder.conv1.weight", {3, d.nMels, audio});
    vector("encoder.conv1.bias", {1, audio}, 0.0f, 0.02f);
    matrix("encoder.conv2.weight", {3, audio, audio});
    vector("encoder.conv2.bias", {1, audio}, 0.0f, 0.02f);
    norm("encoder.ln_post", audio);
    for (int layer = 0; layer < d.nAudioLayer; ++layer) {
        const std::string block = "encoder.blocks." + std::to_string(layer);
        norm(block + ".mlp_ln", audio);
        linear(block + ".mlp.0", audio, 4 * audio, true);
        linear(block + ".mlp.2", 4 * audio, audio, true);
        norm(block + ".attn_ln", audio);
        attention(block + ".attn", audio);
    }

    // The decoder, with the steering described above.
    const int text = d.nTextState;
    const auto adjust = [&](std::size_t fromEnd, steering::Adjust change) {
        specs[specs.size() - 1 - fromEnd].adjust = std::move(change);
    };
    vector("decoder.positional_embedding", {text, d.nTextCtx}, 0.0f, 1.0f);
    adjust(0, steering::clearReserved(text, false));
    specs.push_back({"decoder.token_embedding.weight",
                     GGML_TYPE_F16,
                     {text, d.nVocab},
                     0.0f,
                     steering::tokenAmplitude(text),
                     steering::tokenEmbedding(d)});
    const float gain = steering::outputGain(text);
    vector("decoder.ln.weight", {text}, gain, 0.05f * gain);
    adjust(0, steering::finalNormGain(text));
    vector("decoder.ln.bias", {text}, 0.0f, 0.02f);
    adjust(0, steering::finalNormBias());
    for (int layer = 0; layer < d.nTextLayer; ++layer) {
        const std::string block = "decoder.blocks." + std::to_string(layer);
        norm(block + ".mlp_ln", text);
        linear(block + ".mlp.0", text, 4 * text, true);
        if (layer == 0) {
            adjust(1, steering::markerDetectorWeights(text));
            adjust(0, steering::markerDetectorBias());
        }
        linear(block + ".mlp.2", 4 * text, text, true);
        adjust(1, steering::mlpOutput(text, layer == 0));
        adjust(0, steering::clearReserved(text, false));
        norm(block + ".attn_ln", text);
        attention(block + ".attn", text);
        adjust(1, steering::clearReserved(text, true));
        adjust(0, steering::clearReserved(text, false));
        norm(block + ".cross_attn_ln", text);
        attention(block + ".cross_attn", text);
        adjust(1, steering::clearReserved(text, true));
        adjust(0, steering::clearReserved(text, false));
    }
    return specs;
}

QString invalidDims(const WhisperModelDims& d) {
    const int values[] = {d.nVocab,   d.nAudioCtx,  d.nAudioState, d.nAudioHead, d.nAudioLayer,
                          d.nTextCtx, d.nTextState, d.nTextHead,   d.nTextLayer, d.nMels};
    if (std::any_of(std::begin(values), std::end(values), [](int v) { return v <= 0; })) {
        return QStringLiteral("every dimension must be positive");
    }
    if (d.nVocab < englishVocab) {
        return QStringLiteral("the vocabulary needs at least %1 tokens for the special tokens")
            .arg(englishVocab);
    }
    if (d.nAudioState != d.nTextState) {
        return QStringLiteral("the audio and text widths must be equal");
    }
    if (d.nAudioState % d.nAudioHead != 0 || d.nTextState % d.nTextHead != 0) {
        return QStringLiteral("the widths must be multiples of the head counts");
    }
    if (d.nTextState < 4 * steering::reservedCoordinates) {
        return QStringLiteral("the text width must be at least %1")
            .arg(4 * steering::reservedCoordinates);
    }
    return {};
}

class ModelFile {
public:
    explicit ModelFile(const QString& path)
        : m_file(path) {}

    bool open() { return m_file.open(QIODevice::WriteOnly); }
    bool ok() const { return m_ok; }
    QString errorString() const { return m_file.errorString(); }
    bool commit() { return m_ok && m_file.commit(); }

    void write(const void* data, qint64 bytes) {
        if (m_ok && m_file.write(static_cast<const char*>(data), bytes) != bytes) {
            m_ok = false;
        }
    }
    void writeInt(std::int32_t value) { write(&value, sizeof value); }
    void writeString(const std::string& text) {
        writeInt(static_cast<std::int32_t>(text.size()));
        write(text.data(), static_cast<qint64>(text.size()));
    }

private:
    QSaveFile m_file;
    bool m_ok = true;
};

void writeTensor(ModelFile& file, const TensorSpec& tensor, UniformStream& random,
                 std::vector<float>& values, std::vector<ggml_fp16_t>& halves) {
    file.writeInt(static_cast<std::int32_t>(tensor.ne.size()));
    file.writeInt(static_cast<std::int32_t>(tensor.name.size()));
    file.writeInt(tensor.type);
    for (const std::int32_t n : tensor.ne) {
        file.writeInt(n);
    }
    file.write(tensor.name.data(), static_cast<qint64>(tensor.name.size()));

    for (qint64 done = 0, total = tensor.elements(); done < total && file.ok();) {
        const qint64 count = std::min(chunkElements, total - done);
        random.fill(values.data(), count);
        for (qint64 i = 0; i < count; ++i) {
            values[static_cast<std::size_t>(i)] =
                tensor.offset + tensor.amplitude * values[static_cast<std::size_t>(i)];
        }
        if (tensor.adjust) {
            tensor.adjust(done, values.data(), count);
        }
        if (tensor.type == GGML_TYPE_F16) {
            ggml_fp32_to_fp16_row(values.data(), halves.data(), count);
            file.write(halves.data(), count * 2);
        } else {
            file.write(values.data(), count * 4);
        }
        done += count;
    }
}

} // namespace

WhisperModelDims WhisperModelDims::tiny() { return {}; }

WhisperModelDims WhisperModelDims::largeV3Turbo() {
    WhisperModelDims dims;
    dims.nAudioState = 1280;
    dims.nAudioHead = 20;
    dims.nAudioLayer = 32;
    dims.nTextState = 1280;
    dims.nTextHead = 20;
    dims.nTextLayer = 4;
    return dims;
}

qint64 whisperModelFileSize(const WhisperModelDims& dims) {
    qint64 size = 4 + 11 * 4;                         // magic, hyper-parameters
    size += 2 * 4 + qint64{dims.nMels} * fftBins * 4; // mel filters
    size += 4;                                        // token count
    for (const std::string& token : vocabulary(dims)) {
        size += 4 + static_cast<qint64>(token.size());
    }
    for (const TensorSpec& tensor : tensorSpecs(dims)) {
        size += tensor.headerBytes() + tensor.dataBytes();
    }
    return size;
}

bool writeWhisperModel(const QString& path, const WhisperModelDims& dims, std::uint32_t seed,
                       QString* error) {
    const auto fail = [&](const QString& message) {
        if (error) {
            *error = message;
        }
        return false;
    };
    if (const QString problem = invalidDims(dims); !problem.isEmpty()) {
        return fail(QStringLiteral("invalid model dimensions: %1").arg(problem));
    }

    ModelFile file(path);
    if (!file.open()) {
        return fail(QStringLiteral("cannot create %1: %2").arg(path, file.errorString()));
    }

    file.writeInt(static_cast<std::int32_t>(GGML_FILE_MAGIC));
    for (const int value :
         {dims.nVocab, dims.nAudioCtx, dims.nAudioState, dims.nAudioHead, dims.nAudioLayer,
          dims.nTextCtx, dims.nTextState, dims.nTextHead, dims.nTextLayer, dims.nMels}) {
        file.writeInt(value);
    }
    file.writeInt(ftypeMostlyF16);

    file.writeInt(dims.nMels);
    file.writeInt(fftBins);
    const std::vector<float> filters = melFilters(dims.nMels);
    file.write(filters.data(), static_cast<qint64>(filters.size() * sizeof(float)));

    const std::vector<std::string> tokens = vocabulary(dims);
    file.writeInt(static_cast<std::int32_t>(tokens.size()));
    for (const std::string& token : tokens) {
        file.writeString(token);
    }

    UniformStream random(seed);
    std::vector<float> values(static_cast<std::size_t>(chunkElements));
    std::vector<ggml_fp16_t> halves(static_cast<std::size_t>(chunkElements));
    for (const TensorSpec& tensor : tensorSpecs(dims)) {
        writeTensor(file, tensor, random, values, halves);
    }

    if (!file.commit()) {
        return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    }
    return true;
}

bool writeTruncatedCopy(const QString& source, const QString& destination, qint64 bytes) {
    QFile in(source);
    if (bytes < 0 || !in.open(QIODevice::ReadOnly) || in.size() < bytes) {
        return false;
    }
    QFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    constexpr qint64 chunkBytes = qint64{1} << 20;
    for (qint64 left = bytes; left > 0;) {
        const QByteArray chunk = in.read(std::min(chunkBytes, left));
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            return false;
        }
        left -= chunk.size();
    }
    return out.flush();
}
