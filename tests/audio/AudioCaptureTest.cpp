// The recorder against a real PulseAudio server of the test's own, through
// the same Qt Multimedia adapter the application uses.
#include "AwaitTask.h"
#include "PulseAudioServer.h"
#include "audio/AudioRecorder.h"
#include "platform/Clock.h"
#include "platform/linux/QtAudioInputBackend.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// Blocks of the Qt source are at most this many input frames; the count of
// converted samples may be off by one block plus the resampler's delay.
constexpr double blockTolerance = 4096.0 / 3.0;

class RecordingDelegate final : public AudioRecorderDelegate {
public:
    void audioRecorderDidAbort(const QString& message) override { messages.push_back(message); }
    std::vector<QString> messages;
};

// 48 kHz stereo 16-bit frames of a 440 Hz tone, made by sox.
QByteArray toneFrames(double seconds) {
    QProcess sox;
    sox.start(QStringLiteral("sox"),
              {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("48000"),
               QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-b"),
               QStringLiteral("16"), QStringLiteral("-e"), QStringLiteral("signed"),
               QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-"),
               QStringLiteral("synth"), QString::number(seconds), QStringLiteral("sine"),
               QStringLiteral("440"), QStringLiteral("vol"), QStringLiteral("0.5")});
    if (!sox.waitForFinished(30000) || sox.exitCode() != 0) {
        return {};
    }
    return sox.readAllStandardOutput();
}

bool contains(const std::vector<AudioInputDevice>& devices, const QString& uid) {
    return std::any_of(devices.begin(), devices.end(),
                       [&](const AudioInputDevice& device) { return device.uid == uid; });
}

class AudioCaptureTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new PulseAudioServer();
        serverStarted = server->start();
        if (serverStarted) {
            server->pactl({QStringLiteral("set-default-source"), QStringLiteral("mic")});
        }
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(serverStarted) << server->error().toStdString();
        backend = std::make_unique<QtAudioInputBackend>();
        recorder = std::make_unique<AudioRecorder>(*backend, Clock::system());
        recorder->setDelegate(&delegate);
    }

    void TearDown() override {
        recorder.reset();
        backend.reset();
    }

    // Records `frames` written into the mic and returns what stop() gives,
    // once the recorder has seen them all (or after a generous wait).
    SampleBuffer recordTone(const QByteArray& frames) {
        EXPECT_TRUE(server->writeToMic(frames)) << server->error().toStdString();
        const double expected = frames.size() / 4 / 3.0;
        waitUntil([&] { return recorder->capturedSampleCount() + blockTolerance >= expected; },
                  5000);
        // Let a block in flight land before stopping.
        waitUntil([] { return false; }, 100);
        return recorder->stop();
    }

    static inline PulseAudioServer* server = nullptr;
    static inline bool serverStarted = false;

    std::unique_ptr<QtAudioInputBackend> backend;
    RecordingDelegate delegate;
    std::unique_ptr<AudioRecorder> recorder;
};

} // namespace

TEST_F(AudioCaptureTest, InputsListTheServersSourcesButNotOutputsOrMonitors) {
    const std::vector<AudioInputDevice> devices = recorder->availableInputDevices();
    ASSERT_TRUE(contains(devices, QStringLiteral("mic")));
    EXPECT_FALSE(contains(devices, QStringLiteral("spk")));
    EXPECT_FALSE(contains(devices, QStringLiteral("spk.monitor")));
    for (const AudioInputDevice& device : devices) {
        EXPECT_FALSE(device.name.isEmpty());
        EXPECT_NE(device.id, 0u);
    }
    // Ids stay the same for the life of the process.
    EXPECT_EQ(recorder->availableInputDevices(), devices);
}

TEST_F(AudioCaptureTest, NewSourceRaisesAChangeNoticeAndIsListed) {
    QSignalSpy changes(backend.get(), &AudioInputBackend::configurationChanged);
    const QString module =
        server
            ->pactl({QStringLiteral("load-module"), QStringLiteral("module-null-source"),
                     QStringLiteral("source_name=extra")})
            .trimmed();
    ASSERT_FALSE(module.isEmpty()) << server->error().toStdString();
    EXPECT_TRUE(waitUntil([&] { return changes.count() > 0; }, 5000));
    EXPECT_TRUE(waitUntil(
        [&] { return contains(recorder->availableInputDevices(), QStringLiteral("extra")); },
        5000));

    server->pactl({QStringLiteral("unload-module"), module});
    EXPECT_TRUE(waitUntil(
        [&] { return !contains(recorder->availableInputDevices(), QStringLiteral("extra")); },
        5000));
}

TEST_F(AudioCaptureTest, RecordingFromDefaultNamedOrUnknownInputGivesAThirdOfTheFramesInMono) {
    const QByteArray frames = toneFrames(1.0);
    ASSERT_EQ(frames.size(), 48000 * 4);
    for (const std::optional<QString>& uid :
         {std::optional<QString>(), std::optional<QString>(QStringLiteral("mic")),
          std::optional<QString>(QStringLiteral("no-such-source"))}) {
        SCOPED_TRACE(uid.value_or(QStringLiteral("(default)")).toStdString());
        ASSERT_NO_THROW(recorder->start(uid));
        const SampleBuffer samples = recordTone(frames);
        EXPECT_NEAR(static_cast<double>(samples.size()), 16000.0, blockTolerance);

        // The tone arrives intact: half scale, 440 Hz.
        ASSERT_GT(samples.size(), 8000u);
        const auto peak = *std::max_element(samples.begin() + 1000, samples.end() - 1000);
        EXPECT_NEAR(peak, 0.5f, 0.05f);
        int crossings = 0;
        for (size_t index = 1001; index < 9001; ++index) {
            crossings += (samples[index - 1] < 0.0f) != (samples[index] < 0.0f) ? 1 : 0;
        }
        EXPECT_NEAR(crossings, 440, 10) << "8000 samples are 0.5 s: 220 periods";
    }
    EXPECT_TRUE(delegate.messages.empty());
}

TEST_F(AudioCaptureTest, RemovingTheRecordedSourceAbortsAndTheNextRecordingStartsEmpty) {
    const QString module =
        server
            ->pactl({QStringLiteral("load-module"), QStringLiteral("module-null-source"),
                     QStringLiteral("source_name=doomed")})
            .trimmed();
    ASSERT_FALSE(module.isEmpty()) << server->error().toStdString();
    ASSERT_TRUE(waitUntil(
        [&] { return contains(recorder->availableInputDevices(), QStringLiteral("doomed")); },
        5000));

    ASSERT_NO_THROW(recorder->start(QStringLiteral("doomed")));
    // A null source delivers silence in real time.
    ASSERT_TRUE(waitUntil([&] { return recorder->capturedSampleCount() > 0; }, 5000));
    server->pactl({QStringLiteral("unload-module"), module});

    ASSERT_TRUE(waitUntil([&] { return !delegate.messages.empty(); }, 5000));
    EXPECT_EQ(delegate.messages,
              std::vector<QString>{QStringLiteral("Microphone switched \u2014 try again.")});
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_TRUE(recorder->stop().empty());

    ASSERT_NO_THROW(recorder->start(QStringLiteral("mic")));
    EXPECT_EQ(recorder->capturedSampleCount(), 0u);
    const SampleBuffer samples = recordTone(toneFrames(0.5));
    EXPECT_NEAR(static_cast<double>(samples.size()), 8000.0, blockTolerance);
}
