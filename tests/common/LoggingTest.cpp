#include "common/Logging.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

namespace {

TEST(LoggingTest, CategoriesCarryTheirStableNames) {
    EXPECT_STREQ(lcRecording().categoryName(), "com.murmex.app.Recording");
    EXPECT_STREQ(lcMediaTranscription().categoryName(), "com.murmex.app.MediaTranscription");
    EXPECT_STREQ(lcModelResidency().categoryName(), "com.murmex.app.ModelResidency");
    EXPECT_STREQ(lcNews().categoryName(), "com.murmex.app.News");
    EXPECT_STREQ(lcUpdate().categoryName(), "com.murmex.app.Update");
    EXPECT_STREQ(lcCleanup().categoryName(), "app.murmex.cleanup");
}

TEST(LoggingTest, CaptureCollectsMessagesByCategory) {
    LogCapture capture;
    qCInfo(lcRecording) << "Recording started";
    qCWarning(lcCleanup) << "Cleanup failed";
    EXPECT_EQ(capture.messages(QStringLiteral("com.murmex.app.Recording")),
              QStringList{QStringLiteral("Recording started")});
    EXPECT_TRUE(capture.contains(QStringLiteral("app.murmex.cleanup"), QStringLiteral("failed")));
    EXPECT_FALSE(capture.contains(QStringLiteral("com.murmex.app.News"), QStringLiteral("x")));
}

} // namespace
