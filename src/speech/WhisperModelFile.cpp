#include "speech/WhisperModelFile.h"

#include <QFile>

#include <ggml.h>

#include <array>
#include <cstdint>

namespace {

constexpr std::uint32_t fileMagic = 0x67676d6c; // "ggml"
constexpr std::int32_t largestDimension = 1 << 20;
constexpr std::int32_t longestToken = 1 << 16;
constexpr std::int32_t longestTensorName = 1 << 10;
constexpr int hyperParameterCount = 11;

class Reader {
public:
    explicit Reader(QFile& file)
        : m_file(file) {}

    bool readInt(std::int32_t& value) {
        return m_file.read(reinterpret_cast<char*>(&value), sizeof value) == sizeof value;
    }
    // Moves past `bytes` bytes; false when they are not all in the file.
    bool skip(qint64 bytes) {
        const qint64 target = m_file.pos() + bytes;
        return bytes >= 0 && target <= m_file.size() && m_file.seek(target);
    }
    bool atEnd() const { return m_file.pos() == m_file.size(); }

private:
    QFile& m_file;
};

bool inRange(std::int32_t value, std::int32_t low, std::int32_t high) {
    return value >= low && value <= high;
}

std::optional<QString> checkTensors(Reader& reader) {
    int tensors = 0;
    while (!reader.atEnd()) {
        std::int32_t dimensions = 0;
        std::int32_t nameLength = 0;
        std::int32_t type = 0;
        if (!reader.readInt(dimensions) || !reader.readInt(nameLength) || !reader.readInt(type)) {
            return QStringLiteral("a tensor header is cut short");
        }
        if (!inRange(dimensions, 1, GGML_MAX_DIMS) || !inRange(nameLength, 1, longestTensorName) ||
            !inRange(type, 0, GGML_TYPE_COUNT - 1) ||
            ggml_blck_size(static_cast<ggml_type>(type)) == 0) {
            return QStringLiteral("tensor %1 has an invalid header").arg(tensors);
        }
        std::array<std::int64_t, GGML_MAX_DIMS> extent{1, 1, 1, 1};
        for (int d = 0; d < dimensions; ++d) {
            std::int32_t value = 0;
            if (!reader.readInt(value) || !inRange(value, 1, largestDimension)) {
                return QStringLiteral("tensor %1 has an invalid shape").arg(tensors);
            }
            extent[static_cast<std::size_t>(d)] = value;
        }
        const auto rowBytes =
            static_cast<qint64>(ggml_row_size(static_cast<ggml_type>(type), extent[0]));
        const qint64 bytes = rowBytes * extent[1] * extent[2] * extent[3];
        if (!reader.skip(nameLength) || !reader.skip(bytes)) {
            return QStringLiteral("tensor %1 is cut short").arg(tensors);
        }
        ++tensors;
    }
    if (tensors == 0) {
        return QStringLiteral("it holds no weights");
    }
    return std::nullopt;
}

} // namespace

namespace WhisperModelFile {

std::optional<QString> structuralProblem(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return file.errorString();
    }
    Reader reader(file);
    std::int32_t magic = 0;
    if (!reader.readInt(magic) || static_cast<std::uint32_t>(magic) != fileMagic) {
        return QStringLiteral("it is not a whisper model");
    }
    std::array<std::int32_t, hyperParameterCount> parameters{};
    for (std::int32_t& value : parameters) {
        if (!reader.readInt(value)) {
            return QStringLiteral("its header is cut short");
        }
    }
    // All but the last (the weight type) are sizes.
    for (int i = 0; i + 1 < hyperParameterCount; ++i) {
        if (!inRange(parameters[static_cast<std::size_t>(i)], 1, largestDimension)) {
            return QStringLiteral("its header is invalid");
        }
    }
    std::int32_t melCount = 0;
    std::int32_t fftCount = 0;
    if (!reader.readInt(melCount) || !reader.readInt(fftCount) || !inRange(melCount, 1, 1024) ||
        !inRange(fftCount, 1, 1 << 16) || !reader.skip(qint64{melCount} * fftCount * 4)) {
        return QStringLiteral("its mel filters are cut short");
    }
    std::int32_t tokenCount = 0;
    if (!reader.readInt(tokenCount) || !inRange(tokenCount, 0, largestDimension)) {
        return QStringLiteral("its vocabulary is invalid");
    }
    for (std::int32_t i = 0; i < tokenCount; ++i) {
        std::int32_t length = 0;
        if (!reader.readInt(length) || !inRange(length, 0, longestToken) || !reader.skip(length)) {
            return QStringLiteral("its vocabulary is cut short");
        }
    }
    return checkTensors(reader);
}

} // namespace WhisperModelFile
