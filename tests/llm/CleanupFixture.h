#pragma once

#include "AwaitTask.h"
#include "LogCapture.h"
#include "ScriptedGenerator.h"
#include "TestEnvironment.h"
#include "llm/TextCleanupService.h"
#include "store/AppSettings.h"
#include "store/DefaultsStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

// A cleanup service over a scripted model whose file exists on disk.
class CleanupFixture : public ::testing::Test {
protected:
    CleanupFixture() {
        writeFile(modelPath, QByteArrayLiteral("GGUF"));
        service = std::make_unique<TextCleanupService>(
            settings, modelPath, [this](const QString&) -> std::shared_ptr<TextGenerator> {
                ++loadCount;
                return model;
            });
    }

    QString cleanNow(const QString& text) { return awaitTask(service->clean(text)); }

    QStringList cleanupLog() const { return log.messages(QStringLiteral("app.murmex.cleanup")); }

    ScopedTestHome home;
    DefaultsStore defaults{home.path(QStringLiteral("config/murmex/defaults.json"))};
    AppSettings settings{defaults};
    QString modelPath = home.path(QStringLiteral("data/murmex/cleanup-models/model.gguf"));
    std::shared_ptr<ScriptedGenerator> model = std::make_shared<ScriptedGenerator>();
    std::atomic<int> loadCount = 0;
    std::unique_ptr<TextCleanupService> service;
    LogCapture log;
};
