#include "TestEnvironment.h"
#include "platform/linux/XdgAutostartLoginItem.h"
#include "store/AppSettings.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

class LaunchAtLoginTest : public ::testing::Test {
protected:
    QString autostartFile() const {
        return home.path(QStringLiteral("config/autostart/murmex.desktop"));
    }

    ScopedTestHome home;
    XdgAutostartLoginItem loginItem{{}, QStringLiteral("/opt/Murmex App/bin/murmex")};
};

TEST_F(LaunchAtLoginTest, EnablingWritesAnAutostartEntryInTheUsersConfig) {
    EXPECT_EQ(loginItem.desktopFilePath(), autostartFile());
    EXPECT_EQ(loginItem.status(), LoginItemService::Status::notRegistered);

    EXPECT_TRUE(AppSettings::applyLaunchAtLogin(loginItem, true));
    EXPECT_EQ(loginItem.status(), LoginItemService::Status::enabled);
    const QString entry = QString::fromUtf8(readFile(autostartFile()));
    EXPECT_TRUE(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("Type=Application\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("Exec=\"/opt/Murmex App/bin/murmex\"\n")));

    EXPECT_TRUE(AppSettings::applyLaunchAtLogin(loginItem, false));
    EXPECT_FALSE(QFileInfo::exists(autostartFile()));
    // Disabling what is not registered succeeds without touching anything.
    EXPECT_TRUE(AppSettings::applyLaunchAtLogin(loginItem, false));
}

TEST_F(LaunchAtLoginTest, AnEntryHiddenByTheDesktopCountsAsDisabledAndIsRestored) {
    writeFile(autostartFile(), "[Desktop Entry]\nType=Application\nExec=murmex\nHidden=true\n");
    EXPECT_EQ(loginItem.status(), LoginItemService::Status::notRegistered);
    EXPECT_TRUE(AppSettings::applyLaunchAtLogin(loginItem, true));
    EXPECT_EQ(loginItem.status(), LoginItemService::Status::enabled);
    EXPECT_FALSE(readFile(autostartFile()).contains("Hidden=true"));
}

TEST_F(LaunchAtLoginTest, AnExistingEntryIsLeftAloneWhenAlreadyEnabled) {
    const QByteArray custom = "[Desktop Entry]\nType=Application\nExec=murmex --custom\n";
    writeFile(autostartFile(), custom);
    EXPECT_TRUE(AppSettings::applyLaunchAtLogin(loginItem, true));
    EXPECT_EQ(readFile(autostartFile()), custom);
}

TEST_F(LaunchAtLoginTest, ARegistrationThatCannotBeWrittenReportsFailure) {
    writeFile(home.path(QStringLiteral("blocked")), "a file, not a directory");
    XdgAutostartLoginItem blocked(home.path(QStringLiteral("blocked/autostart")),
                                  QStringLiteral("/usr/bin/murmex"));
    EXPECT_FALSE(AppSettings::applyLaunchAtLogin(blocked, true));
    EXPECT_EQ(blocked.status(), LoginItemService::Status::notRegistered);
}

} // namespace
