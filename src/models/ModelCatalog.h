#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>

// The model files the application can use: two speech-recognition models and
// one language model for transcript cleanup, with where each is downloaded
// from, the digest it must have and where it is stored.

// The expected digest of a download and the algorithm that produces it.
struct AssetChecksum {
    enum class Algorithm { sha1, sha256 };

    Algorithm algorithm = Algorithm::sha1;
    QString hexDigest; // lower-case hexadecimal

    static AssetChecksum sha1(QString hexDigest) { return {Algorithm::sha1, std::move(hexDigest)}; }
    static AssetChecksum sha256(QString hexDigest) {
        return {Algorithm::sha256, std::move(hexDigest)};
    }

    bool operator==(const AssetChecksum&) const = default;
};

// What the download manager needs to know of any model file.
class DownloadableAsset {
public:
    virtual ~DownloadableAsset() = default;

    virtual QString assetID() const = 0;
    virtual QString fileName() const = 0;
    virtual QUrl downloadURL() const = 0;
    virtual AssetChecksum checksum() const = 0;
    virtual std::int64_t approximateBytes() const = 0;
    // Absolute path of the directory the file is installed in; derived from
    // the current data directory on every call.
    virtual QString storageDirectory() const = 0;

    // Absolute path of the installed file: storageDirectory() / fileName().
    QString localURL() const;

    // Whether a file exists at localURL(). Only existence counts: size and
    // digest are checked once, when the file is downloaded.
    bool isDownloaded() const;

protected:
    DownloadableAsset() = default;
    DownloadableAsset(const DownloadableAsset&) = default;
    DownloadableAsset& operator=(const DownloadableAsset&) = default;
};

class WhisperModel final : public DownloadableAsset {
public:
    enum class Kind { turbo, full };

    static const WhisperModel& turbo();
    static const WhisperModel& full();
    // Both speech models, turbo first.
    static const QList<WhisperModel>& all();
    static const WhisperModel& model(Kind kind);

    Kind id() const { return m_id; }
    QString displayName() const { return m_displayName; }
    QString subtitle() const { return m_subtitle; }
    QString sha1() const { return m_sha1; }

    QString assetID() const override;
    QString fileName() const override { return m_fileName; }
    QUrl downloadURL() const override { return m_downloadURL; }
    AssetChecksum checksum() const override { return AssetChecksum::sha1(m_sha1); }
    std::int64_t approximateBytes() const override { return m_approximateBytes; }
    QString storageDirectory() const override;

    bool operator==(const WhisperModel& other) const;

private:
    WhisperModel(Kind id, QString displayName, QString subtitle, QString fileName, QString sha1,
                 std::int64_t approximateBytes);

    Kind m_id;
    QString m_displayName;
    QString m_subtitle;
    QString m_fileName;
    QUrl m_downloadURL;
    QString m_sha1;
    std::int64_t m_approximateBytes;
};

// The stored form of a speech-model kind: "turbo" or "full".
QString rawValue(WhisperModel::Kind kind);
std::optional<WhisperModel::Kind> whisperModelKind(const QString& rawValue);

class CleanupModel final : public DownloadableAsset {
public:
    static const CleanupModel& defaultModel();

    QString id() const { return m_id; }
    QString displayName() const { return m_displayName; }
    QString subtitle() const { return m_subtitle; }
    QString sha256() const { return m_sha256; }

    QString assetID() const override { return m_id; }
    QString fileName() const override { return m_fileName; }
    QUrl downloadURL() const override { return m_downloadURL; }
    AssetChecksum checksum() const override { return AssetChecksum::sha256(m_sha256); }
    std::int64_t approximateBytes() const override { return m_approximateBytes; }
    QString storageDirectory() const override;

    bool operator==(const CleanupModel& other) const;

private:
    CleanupModel(QString id, QString displayName, QString subtitle, QString fileName,
                 QString sha256, std::int64_t approximateBytes);

    QString m_id;
    QString m_displayName;
    QString m_subtitle;
    QString m_fileName;
    QUrl m_downloadURL;
    QString m_sha256;
    std::int64_t m_approximateBytes;
};

namespace ModelCatalog {

// Data directory / "models": the speech models.
QString speechModelDirectory();
// Data directory / "cleanup-models": the cleanup model.
QString cleanupModelDirectory();
// The download server's base URL, fixed at build time.
QString downloadHost();

} // namespace ModelCatalog
