#include "models/ModelCatalog.h"

#include "common/AppPaths.h"

#include <QDir>
#include <QFileInfo>

#ifndef MURMEX_DOWNLOAD_HOST
#error "MURMEX_DOWNLOAD_HOST must name the model download server"
#endif

namespace {

QUrl modelDownloadURL(const QString& fileName) {
    return QUrl(ModelCatalog::downloadHost() + QStringLiteral("/models/") + fileName);
}

} // namespace

namespace ModelCatalog {

QString speechModelDirectory() {
    return QDir(AppPaths::dataDirectory()).filePath(QStringLiteral("models"));
}

QString cleanupModelDirectory() {
    return QDir(AppPaths::dataDirectory()).filePath(QStringLiteral("cleanup-models"));
}

QString downloadHost() {
    QString host = QStringLiteral(MURMEX_DOWNLOAD_HOST);
    while (host.endsWith(QLatin1Char('/'))) {
        host.chop(1);
    }
    return host;
}

} // namespace ModelCatalog

QString DownloadableAsset::localURL() const {
    return QDir(storageDirectory()).filePath(fileName());
}

bool DownloadableAsset::isDownloaded() const { return QFileInfo::exists(localURL()); }

QString rawValue(WhisperModel::Kind kind) {
    switch (kind) {
    case WhisperModel::Kind::turbo:
        return QStringLiteral("turbo");
    case WhisperModel::Kind::full:
        return QStringLiteral("full");
    }
    return QStringLiteral("turbo");
}

std::optional<WhisperModel::Kind> whisperModelKind(const QString& value) {
    for (const auto kind : {WhisperModel::Kind::turbo, WhisperModel::Kind::full}) {
        if (rawValue(kind) == value) {
            return kind;
        }
    }
    return std::nullopt;
}

WhisperModel::WhisperModel(Kind id, QString displayName, QString subtitle, QString fileName,
                           QString sha1, std::int64_t approximateBytes)
    : m_id(id)
    , m_displayName(std::move(displayName))
    , m_subtitle(std::move(subtitle))
    , m_fileName(std::move(fileName))
    , m_downloadURL(modelDownloadURL(m_fileName))
    , m_sha1(std::move(sha1))
    , m_approximateBytes(approximateBytes) {}

const WhisperModel& WhisperModel::turbo() {
    static const WhisperModel model(
        Kind::turbo, QStringLiteral("Murmex Turbo"),
        QStringLiteral("Whisper Large-V3-Turbo \u00B7 faster, near-flagship quality. Recommended."),
        QStringLiteral("ggml-large-v3-turbo.bin"),
        QStringLiteral("4af2b29d7ec73d781377bfd1758ca957a807e941"), 1624555275);
    return model;
}

const WhisperModel& WhisperModel::full() {
    static const WhisperModel model(
        Kind::full, QStringLiteral("Murmex Full"),
        QStringLiteral("Whisper Large-V3 \u00B7 maximum accuracy, somewhat slower."),
        QStringLiteral("ggml-large-v3.bin"),
        QStringLiteral("ad82bf6a9043ceed055076d0fd39f5f186ff8062"), 3094623691);
    return model;
}

const QList<WhisperModel>& WhisperModel::all() {
    static const QList<WhisperModel> models{turbo(), full()};
    return models;
}

const WhisperModel& WhisperModel::model(Kind kind) { return kind == Kind::full ? full() : turbo(); }

QString WhisperModel::assetID() const { return rawValue(m_id); }

QString WhisperModel::storageDirectory() const { return ModelCatalog::speechModelDirectory(); }

bool WhisperModel::operator==(const WhisperModel& other) const {
    return m_id == other.m_id && m_displayName == other.m_displayName &&
           m_subtitle == other.m_subtitle && m_fileName == other.m_fileName &&
           m_downloadURL == other.m_downloadURL && m_sha1 == other.m_sha1 &&
           m_approximateBytes == other.m_approximateBytes;
}

CleanupModel::CleanupModel(QString id, QString displayName, QString subtitle, QString fileName,
                           QString sha256, std::int64_t approximateBytes)
    : m_id(std::move(id))
    , m_displayName(std::move(displayName))
    , m_subtitle(std::move(subtitle))
    , m_fileName(std::move(fileName))
    , m_downloadURL(modelDownloadURL(m_fileName))
    , m_sha256(std::move(sha256))
    , m_approximateBytes(approximateBytes) {}

const CleanupModel& CleanupModel::defaultModel() {
    static const CleanupModel model(
        QStringLiteral("qwen3-1.7b-q4_k_m"), QStringLiteral("Murmex Cleanup"),
        QStringLiteral("Qwen3-1.7B \u00B7 polishes transcripts on-device. Apache 2.0."),
        QStringLiteral("Qwen3-1.7B-Q4_K_M.gguf"),
        QStringLiteral("d2387ca2dbfee2ffabce7120d3770dadca0b293052bc2f0e138fdc940d9bc7b5"),
        1282439264);
    return model;
}

QString CleanupModel::storageDirectory() const { return ModelCatalog::cleanupModelDirectory(); }

bool CleanupModel::operator==(const CleanupModel& other) const {
    return m_id == other.m_id && m_displayName == other.m_displayName &&
           m_subtitle == other.m_subtitle && m_fileName == other.m_fileName &&
           m_downloadURL == other.m_downloadURL && m_sha256 == other.m_sha256 &&
           m_approximateBytes == other.m_approximateBytes;
}
