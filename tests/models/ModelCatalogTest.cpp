#include "models/ModelCatalog.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

class ModelCatalogTest : public ::testing::Test {
protected:
    ScopedTestHome home;
};

TEST_F(ModelCatalogTest, SpeechEntriesAreExact) {
    const WhisperModel& turbo = WhisperModel::turbo();
    EXPECT_EQ(turbo.id(), WhisperModel::Kind::turbo);
    EXPECT_EQ(turbo.displayName(), QStringLiteral("Murmex Turbo"));
    EXPECT_EQ(
        turbo.subtitle(),
        QStringLiteral("Whisper Large-V3-Turbo · faster, near-flagship quality. Recommended."));
    EXPECT_EQ(turbo.fileName(), QStringLiteral("ggml-large-v3-turbo.bin"));
    EXPECT_EQ(turbo.checksum(),
              AssetChecksum::sha1(QStringLiteral("4af2b29d7ec73d781377bfd1758ca957a807e941")));
    EXPECT_EQ(turbo.approximateBytes(), 1624555275);
    EXPECT_EQ(turbo.assetID(), QStringLiteral("turbo"));

    const WhisperModel& full = WhisperModel::full();
    EXPECT_EQ(full.displayName(), QStringLiteral("Murmex Full"));
    EXPECT_EQ(full.subtitle(),
              QStringLiteral("Whisper Large-V3 · maximum accuracy, somewhat slower."));
    EXPECT_EQ(full.fileName(), QStringLiteral("ggml-large-v3.bin"));
    EXPECT_EQ(full.sha1(), QStringLiteral("ad82bf6a9043ceed055076d0fd39f5f186ff8062"));
    EXPECT_EQ(full.approximateBytes(), 3094623691);
    EXPECT_EQ(full.assetID(), QStringLiteral("full"));

    ASSERT_EQ(WhisperModel::all().size(), 2);
    EXPECT_EQ(WhisperModel::all()[0], turbo);
    EXPECT_EQ(WhisperModel::all()[1], full);
    EXPECT_EQ(WhisperModel::model(WhisperModel::Kind::full), full);
    EXPECT_FALSE(turbo == full);
}

TEST_F(ModelCatalogTest, CleanupEntryIsExact) {
    const CleanupModel& model = CleanupModel::defaultModel();
    EXPECT_EQ(model.id(), QStringLiteral("qwen3-1.7b-q4_k_m"));
    EXPECT_EQ(model.assetID(), QStringLiteral("qwen3-1.7b-q4_k_m"));
    EXPECT_EQ(model.displayName(), QStringLiteral("Murmex Cleanup"));
    EXPECT_EQ(model.subtitle(),
              QStringLiteral("Qwen3-1.7B · polishes transcripts on-device. Apache 2.0."));
    EXPECT_EQ(model.fileName(), QStringLiteral("Qwen3-1.7B-Q4_K_M.gguf"));
    EXPECT_EQ(model.checksum(),
              AssetChecksum::sha256(QStringLiteral(
                  "d2387ca2dbfee2ffabce7120d3770dadca0b293052bc2f0e138fdc940d9bc7b5")));
    EXPECT_EQ(model.approximateBytes(), 1282439264);
}

TEST_F(ModelCatalogTest, DownloadURLsAreTheHostAndModelsPath) {
    const QString host = ModelCatalog::downloadHost();
    EXPECT_TRUE(host.startsWith(QStringLiteral("https://")));
    EXPECT_FALSE(host.endsWith(QLatin1Char('/')));
    EXPECT_EQ(WhisperModel::turbo().downloadURL().toString(),
              host + QStringLiteral("/models/ggml-large-v3-turbo.bin"));
    EXPECT_EQ(WhisperModel::full().downloadURL().path(),
              QStringLiteral("/models/ggml-large-v3.bin"));
    EXPECT_EQ(CleanupModel::defaultModel().downloadURL().path(),
              QStringLiteral("/models/Qwen3-1.7B-Q4_K_M.gguf"));
}

TEST_F(ModelCatalogTest, FilesLiveInSeparateDirectoriesUnderTheDataDirectory) {
    const QString data = home.dataHome() + QStringLiteral("/murmex");
    EXPECT_EQ(WhisperModel::turbo().storageDirectory(), data + QStringLiteral("/models"));
    EXPECT_EQ(WhisperModel::turbo().localURL(),
              data + QStringLiteral("/models/ggml-large-v3-turbo.bin"));
    EXPECT_EQ(CleanupModel::defaultModel().localURL(),
              data + QStringLiteral("/cleanup-models/Qwen3-1.7B-Q4_K_M.gguf"));
}

TEST_F(ModelCatalogTest, PresenceIsExistenceAloneAndFollowsTheEnvironment) {
    const WhisperModel& turbo = WhisperModel::turbo();
    const CleanupModel& cleanup = CleanupModel::defaultModel();
    EXPECT_FALSE(turbo.isDownloaded());

    // An empty file with the right name counts: digests are checked on download.
    writeFile(turbo.localURL(), {});
    writeFile(cleanup.localURL(), "gguf");
    EXPECT_TRUE(turbo.isDownloaded());
    EXPECT_FALSE(WhisperModel::full().isDownloaded());
    EXPECT_TRUE(cleanup.isDownloaded());

    // Removing the speech models leaves the cleanup model in place.
    ASSERT_TRUE(QDir(turbo.storageDirectory()).removeRecursively());
    EXPECT_FALSE(turbo.isDownloaded());
    EXPECT_TRUE(cleanup.isDownloaded());

    // The data directory is resolved on every use.
    ScopedTestHome other;
    EXPECT_FALSE(cleanup.isDownloaded());
    EXPECT_TRUE(cleanup.localURL().startsWith(other.dataHome()));
}

TEST_F(ModelCatalogTest, KindsHaveTheirStoredNames) {
    EXPECT_EQ(rawValue(WhisperModel::Kind::turbo), QStringLiteral("turbo"));
    EXPECT_EQ(rawValue(WhisperModel::Kind::full), QStringLiteral("full"));
    EXPECT_EQ(whisperModelKind(QStringLiteral("full")), WhisperModel::Kind::full);
    EXPECT_FALSE(whisperModelKind(QStringLiteral("Full")).has_value());
}

} // namespace
