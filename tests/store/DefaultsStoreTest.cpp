#include "store/DefaultsStore.h"

#include "LogCapture.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

class DefaultsStoreTest : public ::testing::Test {
protected:
    QString storePath() const { return home.path(QStringLiteral("config/murmex/defaults.json")); }

    ScopedTestHome home;
};

TEST_F(DefaultsStoreTest, ConstructionOfAFreshStoreWritesNothing) {
    DefaultsStore store(storePath());
    EXPECT_FALSE(QFileInfo::exists(storePath()));
    EXPECT_FALSE(store.contains(QStringLiteral("anything")));
    EXPECT_FALSE(store.boolValue(QStringLiteral("anything")));
    EXPECT_EQ(store.integerValue(QStringLiteral("anything")), 0);
    EXPECT_EQ(store.doubleValue(QStringLiteral("anything")), 0.0);
    EXPECT_FALSE(store.stringValue(QStringLiteral("anything")));
    EXPECT_FALSE(store.dataValue(QStringLiteral("anything")));
}

TEST_F(DefaultsStoreTest, EveryTypeSurvivesAReopen) {
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(1700000000123, QTimeZone::utc());
    const QByteArray binary("\x00\xff{\"not json", 12);
    {
        DefaultsStore store(storePath());
        store.setBool(QStringLiteral("flag"), true);
        store.setInteger(QStringLiteral("count"), -42);
        store.setInteger(QStringLiteral("huge"), (std::int64_t{1} << 62) + 1);
        store.setDouble(QStringLiteral("seconds"), 12.625);
        store.setString(QStringLiteral("text"), QStringLiteral("Grüße / \"quoted\""));
        store.setData(QStringLiteral("blob"), binary);
        store.setDate(QStringLiteral("when"), when);
    }
    DefaultsStore reopened(storePath());
    EXPECT_TRUE(reopened.boolValue(QStringLiteral("flag")));
    EXPECT_EQ(reopened.integerValue(QStringLiteral("count")), -42);
    EXPECT_EQ(reopened.integerValue(QStringLiteral("huge")), (std::int64_t{1} << 62) + 1);
    EXPECT_EQ(reopened.doubleValue(QStringLiteral("seconds")), 12.625);
    EXPECT_EQ(reopened.stringValue(QStringLiteral("text")), QStringLiteral("Grüße / \"quoted\""));
    EXPECT_EQ(reopened.dataValue(QStringLiteral("blob")), binary);
    EXPECT_EQ(reopened.dateValue(QStringLiteral("when")), when);
}

TEST_F(DefaultsStoreTest, TypedReadsOfAnotherTypeActAsAbsent) {
    DefaultsStore store(storePath());
    store.setString(QStringLiteral("key"), QStringLiteral("true"));
    EXPECT_FALSE(store.boolValue(QStringLiteral("key")));
    EXPECT_EQ(store.integerValue(QStringLiteral("key")), 0);
    EXPECT_FALSE(store.dataValue(QStringLiteral("key")));

    store.setBool(QStringLiteral("key"), true);
    EXPECT_FALSE(store.stringValue(QStringLiteral("key")));
    EXPECT_EQ(store.doubleValue(QStringLiteral("key")), 0.0);

    // Integers and doubles are one family of numbers.
    store.setDouble(QStringLiteral("number"), 7.9);
    EXPECT_EQ(store.integerValue(QStringLiteral("number")), 7);
    store.setInteger(QStringLiteral("number"), 3);
    EXPECT_EQ(store.doubleValue(QStringLiteral("number")), 3.0);
}

TEST_F(DefaultsStoreTest, RemoveDeletesTheKeyFromTheFile) {
    {
        DefaultsStore store(storePath());
        store.setString(QStringLiteral("device"), QStringLiteral("mic"));
        store.remove(QStringLiteral("device"));
    }
    DefaultsStore reopened(storePath());
    EXPECT_FALSE(reopened.contains(QStringLiteral("device")));
}

TEST_F(DefaultsStoreTest, DamagedFileIsMovedAsideAndNotLost) {
    const QByteArray damaged = "{\"format\":1,\"values\":{\"onboardingCompleted\":";
    writeFile(storePath(), damaged);
    const QString historyPath = home.path(QStringLiteral("data/murmex/history.sqlite"));
    writeFile(historyPath, "history");

    LogCapture log;
    DefaultsStore store(storePath());
    EXPECT_FALSE(store.boolValue(QStringLiteral("onboardingCompleted")));
    EXPECT_FALSE(QFileInfo::exists(storePath()));
    ASSERT_FALSE(store.damagedFileBackup().isEmpty());
    EXPECT_EQ(readFile(store.damagedFileBackup()), damaged);
    EXPECT_EQ(readFile(historyPath), "history");
    EXPECT_TRUE(log.contains(QStringLiteral("com.murmex.app.Settings"), QStringLiteral("damaged")));

    // The next write starts a new, valid file beside the preserved one.
    store.setBool(QStringLiteral("onboardingCompleted"), true);
    DefaultsStore reopened(storePath());
    EXPECT_TRUE(reopened.boolValue(QStringLiteral("onboardingCompleted")));
    EXPECT_TRUE(reopened.damagedFileBackup().isEmpty());
}

TEST_F(DefaultsStoreTest, FilesThatAreNotAStoreAreTreatedAsDamaged) {
    for (const QByteArray& contents : {QByteArray(""), QByteArray("[1,2,3]"),
                                       QByteArray("{\"values\":[]}"), QByteArray("\xff\xfe")}) {
        writeFile(storePath(), contents);
        DefaultsStore store(storePath());
        EXPECT_FALSE(store.damagedFileBackup().isEmpty()) << contents.toStdString();
        EXPECT_FALSE(QFileInfo::exists(storePath()));
    }
    QDir dir(QFileInfo(storePath()).absolutePath());
    EXPECT_EQ(dir.entryList({QStringLiteral("defaults.json.damaged-*")}, QDir::Files).size(), 4);
}

TEST_F(DefaultsStoreTest, UnreadableEntriesReadAsAbsentAndSurviveOtherWrites) {
    writeFile(storePath(), R"({"format":1,"values":{
        "flag":{"type":"bool","value":"yes"},
        "blob":{"type":"data","value":"***"},
        "mystery":{"type":"future-type","value":1},
        "bare":true,
        "count":{"type":"integer","value":2.5}
    }})");
    {
        DefaultsStore store(storePath());
        EXPECT_TRUE(store.damagedFileBackup().isEmpty());
        EXPECT_FALSE(store.boolValue(QStringLiteral("flag")));
        EXPECT_FALSE(store.object(QStringLiteral("flag")));
        EXPECT_FALSE(store.dataValue(QStringLiteral("blob")));
        EXPECT_FALSE(store.object(QStringLiteral("mystery")));
        EXPECT_FALSE(store.object(QStringLiteral("bare")));
        EXPECT_EQ(store.integerValue(QStringLiteral("count")), 0);
        store.setString(QStringLiteral("language"), QStringLiteral("de"));
    }
    const QJsonObject values = QJsonDocument::fromJson(readFile(storePath()))
                                   .object()
                                   .value(QStringLiteral("values"))
                                   .toObject();
    EXPECT_TRUE(values.contains(QStringLiteral("mystery")));
    EXPECT_TRUE(values.contains(QStringLiteral("blob")));
    EXPECT_TRUE(values.contains(QStringLiteral("language")));
}

TEST_F(DefaultsStoreTest, AFailedWriteKeepsTheValueInMemory) {
    // A plain file where the store's directory should be makes every write fail.
    const QString blocked = home.path(QStringLiteral("blocked"));
    writeFile(blocked, "not a directory");
    DefaultsStore store(blocked + QStringLiteral("/murmex/defaults.json"));
    LogCapture log;
    EXPECT_FALSE(store.setBool(QStringLiteral("flag"), true));
    EXPECT_TRUE(store.boolValue(QStringLiteral("flag")));
    EXPECT_FALSE(log.entries().isEmpty());
}

} // namespace
