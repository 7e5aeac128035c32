// Entry point of every test executable: an application object for Qt's event
// loop, and a private HOME for the whole process so that even a test that
// forgets its own ScopedTestHome never touches the real user's files.
#include "TestEnvironment.h"

#include <QCoreApplication>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    ::testing::InitGoogleMock(&argc, argv);
    QCoreApplication app(argc, argv);
    ScopedTestHome processHome;
    return RUN_ALL_TESTS();
}
