#include "audio/AudioRecorder.h"

#include "FakeAudioInput.h"
#include "ManualClock.h"
#include "audio/AudioRecorderError.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;

namespace {

class RecordingDelegate final : public AudioRecorderDelegate {
public:
    void audioRecorderDidAbort(const QString& message) override { messages.push_back(message); }
    std::vector<QString> messages;
};

class AudioRecorderTest : public ::testing::Test {
protected:
    AudioRecorderTest()
        : recorder(backend, clock,
                   [this](std::chrono::milliseconds pause) { pauses.push_back(pause); }) {
        recorder.setDelegate(&delegate);
    }

    FakeAudioInput& input() { return *backend.input; }

    // The error start() throws, or none.
    std::optional<QString> startError(const std::optional<QString>& uid = std::nullopt) {
        try {
            recorder.start(uid);
        } catch (const ServiceError& error) {
            return error.description();
        }
        return std::nullopt;
    }

    FakeAudioInputBackend backend;
    ManualClock clock;
    RecordingDelegate delegate;
    std::vector<std::chrono::milliseconds> pauses;
    AudioRecorder recorder;
};

const QString notReadyMessage =
    QStringLiteral("The selected microphone isn't ready yet. Try again.");
const QString switchedMessage = QStringLiteral("Microphone switched \u2014 try again.");

} // namespace

TEST_F(AudioRecorderTest, StopReturnsEveryConvertedSampleSinceStart) {
    ASSERT_EQ(startError(), std::nullopt);
    for (int block = 0; block < 12; ++block) {
        ASSERT_TRUE(input().deliver(4096));
    }
    const SampleBuffer samples = recorder.stop();

    // 48 kHz stereo becomes a third as many mono samples; the resampler holds
    // back a few samples at the end.
    const double expected = 12 * 4096 / 3.0;
    EXPECT_NEAR(static_cast<double>(samples.size()), expected, 64.0);
    ASSERT_FALSE(samples.empty());
    EXPECT_NEAR(samples[samples.size() / 2], 0.25f, 1e-3f);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(input().streamsAlive, 0);
    EXPECT_TRUE(recorder.stop().empty());
}

TEST_F(AudioRecorderTest, InputReadyOnThirdAttemptStartsAfterTwoPauses) {
    input().formats = {FakeAudioInput::notReady(), FakeAudioInput::notReady(),
                       FakeAudioInput::stereoFloat48k()};
    ASSERT_EQ(startError(), std::nullopt);
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(input().formatQueries, 3);
    EXPECT_EQ(pauses, (std::vector<std::chrono::milliseconds>{75ms, 75ms}));
    EXPECT_EQ(input().installs, 1);
    EXPECT_EQ(input().starts, 1);
}

TEST_F(AudioRecorderTest, InputNeverReadyFailsAfterThreeAttemptsAndLeavesNoStream) {
    input().formats = {FakeAudioInput::notReady()};
    EXPECT_EQ(startError(), notReadyMessage);
    EXPECT_EQ(input().formatQueries, 3);
    EXPECT_EQ(pauses.size(), 2u);
    EXPECT_EQ(input().streamsAlive, 0);
    EXPECT_EQ(input().starts, 0);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_TRUE(recorder.stop().empty());
}

TEST_F(AudioRecorderTest, FormatWithRateButNoChannelsOrChannelsButNoRateIsNotReady) {
    for (const AudioFormat& format :
         {AudioFormat{.sampleRate = 48000.0, .channels = 0, .sampleFormat = SampleFormat::float32},
          AudioFormat{.sampleRate = 0.0, .channels = 2, .sampleFormat = SampleFormat::float32},
          AudioFormat{.sampleRate = -1.0, .channels = 1, .sampleFormat = SampleFormat::int16}}) {
        input().formats = {format};
        EXPECT_EQ(startError(), notReadyMessage);
    }
}

TEST_F(AudioRecorderTest, UnconvertibleFormatFailsAtOnceWithoutRetrying) {
    input().formats = {
        AudioFormat{.sampleRate = 48000.0, .channels = 2, .sampleFormat = SampleFormat::unknown}};
    EXPECT_EQ(startError(), QStringLiteral("Could not set up audio conversion."));
    EXPECT_EQ(input().formatQueries, 1);
    EXPECT_TRUE(pauses.empty());
    EXPECT_EQ(input().streamsAlive, 0);
}

TEST_F(AudioRecorderTest, StreamThatCannotStartIsDismantledAndItsReasonShown) {
    input().startError = QStringLiteral("the device is busy");
    EXPECT_EQ(startError(), QStringLiteral("Could not start the microphone: the device is busy"));
    EXPECT_EQ(input().removes, 1);
    EXPECT_EQ(input().streamsAlive, 0);
    EXPECT_FALSE(recorder.isRecording());

    // The observer went with the stream: a notice schedules nothing.
    backend.notifyChange();
    EXPECT_EQ(clock.pendingCount(), 0u);
}

TEST_F(AudioRecorderTest, ListedDeviceIsSelectedAndUnlistedOrUnbindableOneFallsBackToDefault) {
    struct Case {
        std::optional<QString> uid;
        bool selectSucceeds;
        std::vector<QString> expectedSelected;
    };
    const QString usb = QStringLiteral("alsa_input.usb-mic");
    const std::vector<Case> cases{
        {std::nullopt, true, {}},
        {usb, true, {usb}},
        {QStringLiteral("alsa_input.unplugged"), true, {}},
        {usb, false, {usb}},
    };
    for (const Case& test : cases) {
        input().selected.clear();
        input().selectSucceeds = test.selectSucceeds;
        ASSERT_EQ(startError(test.uid), std::nullopt) << test.uid.value_or(QString()).toStdString();
        EXPECT_TRUE(recorder.isRecording());
        EXPECT_EQ(input().selected, test.expectedSelected);
        ASSERT_TRUE(input().deliver(4800));
        EXPECT_FALSE(recorder.stop().empty());
    }
}

TEST_F(AudioRecorderTest, AvailableInputDevicesAreTheAudioSystemsInOrder) {
    EXPECT_EQ(recorder.availableInputDevices(), backend.devices);
}

TEST_F(AudioRecorderTest, StartWhileRecordingKeepsTheRunningCapture) {
    ASSERT_EQ(startError(), std::nullopt);
    ASSERT_TRUE(input().deliver(4800));
    ASSERT_EQ(startError(QStringLiteral("alsa_input.usb-mic")), std::nullopt);
    ASSERT_TRUE(input().deliver(4800));

    EXPECT_EQ(input().streamsCreated, 1);
    EXPECT_TRUE(input().selected.empty());
    EXPECT_NEAR(static_cast<double>(recorder.stop().size()), 3200.0, 64.0);
}

TEST_F(AudioRecorderTest, StopWithoutStartReturnsNothingAndChangesNothing) {
    EXPECT_TRUE(recorder.stop().empty());
    EXPECT_TRUE(recorder.stop().empty());
    EXPECT_EQ(input().streamsCreated, 0);
    EXPECT_FALSE(recorder.isRecording());
}

TEST_F(AudioRecorderTest, NoticesInABurstGiveOneReconfigurationAfterTheLast) {
    ASSERT_EQ(startError(), std::nullopt);
    ASSERT_TRUE(input().deliver(4800));
    backend.notifyChange();
    clock.advance(50ms);
    backend.notifyChange();
    clock.advance(50ms);
    backend.notifyChange();

    clock.advance(149ms);
    EXPECT_EQ(input().removes, 0);
    clock.advance(1ms);
    EXPECT_EQ(input().removes, 1);
    EXPECT_EQ(input().installs, 2);
    clock.advance(1s);
    EXPECT_EQ(input().removes, 1);
    EXPECT_EQ(input().installs, 2);
    EXPECT_FALSE(recorder.isReconfiguring());

    // Capture goes on into the same recording.
    ASSERT_TRUE(input().deliver(4800));
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_NEAR(static_cast<double>(recorder.stop().size()), 3200.0, 64.0);
    EXPECT_TRUE(delegate.messages.empty());
}

TEST_F(AudioRecorderTest, ReconfigurationRestartsAStreamThatStoppedWithItsTap) {
    input().removeTapStops = true;
    ASSERT_EQ(startError(), std::nullopt);
    backend.notifyChange();
    clock.advance(150ms);
    EXPECT_EQ(input().starts, 2);
    EXPECT_TRUE(input().running);
    EXPECT_TRUE(recorder.isRecording());
}

TEST_F(AudioRecorderTest, ReconfigurationWaitsForAnInputThatBecomesReadyOnTheThirdAttempt) {
    ASSERT_EQ(startError(), std::nullopt);
    ASSERT_TRUE(input().deliver(4800));
    input().formats = {FakeAudioInput::notReady(), FakeAudioInput::notReady(),
                       FakeAudioInput::stereoFloat48k()};
    backend.notifyChange();
    clock.advance(150ms);
    EXPECT_TRUE(recorder.isReconfiguring());
    clock.advance(150ms);
    EXPECT_FALSE(recorder.isReconfiguring());
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_TRUE(pauses.empty()) << "reconfiguration must not block the main thread";
    ASSERT_TRUE(input().deliver(4800));
    EXPECT_NEAR(static_cast<double>(recorder.stop().size()), 3200.0, 64.0);
}

TEST_F(AudioRecorderTest, NoticeArrivingDuringStopIsIgnored) {
    ASSERT_EQ(startError(), std::nullopt);
    input().duringStop = [this] { backend.notifyChange(); };
    recorder.stop();
    clock.advance(1s);
    EXPECT_EQ(input().removes, 1);
    EXPECT_EQ(input().installs, 1);
    EXPECT_TRUE(delegate.messages.empty());
}

TEST_F(AudioRecorderTest, StopCancelsAPendingReconfiguration) {
    ASSERT_EQ(startError(), std::nullopt);
    backend.notifyChange();
    clock.advance(100ms);
    recorder.stop();
    ASSERT_EQ(startError(), std::nullopt);
    clock.advance(1s);
    EXPECT_EQ(input().installs, 2) << "only the two starts install a tap";
    EXPECT_TRUE(recorder.isRecording());
}

TEST_F(AudioRecorderTest, InputThatStaysGoneAfterAChangeAbortsAndTellsTheDelegate) {
    ASSERT_EQ(startError(), std::nullopt);
    ASSERT_TRUE(input().deliver(4800));
    input().formats = {FakeAudioInput::notReady()};
    backend.notifyChange();
    clock.advance(150ms + 75ms);
    EXPECT_TRUE(delegate.messages.empty());
    EXPECT_TRUE(recorder.isRecording());
    clock.advance(75ms);

    EXPECT_EQ(delegate.messages, std::vector<QString>{switchedMessage});
    EXPECT_EQ(AudioRecorder::microphoneSwitchedMessage(), switchedMessage);
    EXPECT_EQ(input().formatQueries, 1 + 3);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(recorder.isReconfiguring());
    EXPECT_EQ(input().streamsAlive, 0);
    EXPECT_TRUE(recorder.stop().empty());

    // The next recording starts from nothing.
    input().formats = {FakeAudioInput::stereoFloat48k()};
    ASSERT_EQ(startError(), std::nullopt);
    EXPECT_EQ(recorder.capturedSampleCount(), 0u);
    ASSERT_TRUE(input().deliver(9600));
    EXPECT_NEAR(static_cast<double>(recorder.stop().size()), 3200.0, 64.0);
}

TEST_F(AudioRecorderTest, StreamThatCannotRestartAfterAChangeAborts) {
    input().removeTapStops = true;
    ASSERT_EQ(startError(), std::nullopt);
    input().startError = QStringLiteral("gone");
    backend.notifyChange();
    clock.advance(150ms);
    EXPECT_EQ(delegate.messages, std::vector<QString>{switchedMessage});
    EXPECT_FALSE(recorder.isRecording());
}

TEST_F(AudioRecorderTest, AbortWithoutDelegateStillEndsTheRecording) {
    recorder.setDelegate(nullptr);
    ASSERT_EQ(startError(), std::nullopt);
    input().formats = {
        AudioFormat{.sampleRate = 48000.0, .channels = 2, .sampleFormat = SampleFormat::unknown}};
    backend.notifyChange();
    clock.advance(150ms);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(input().formatQueries, 2) << "an unconvertible format is not retried";
}

TEST_F(AudioRecorderTest, BlocksThatCannotBeConvertedAreDroppedAndCaptureGoesOn) {
    ASSERT_EQ(startError(), std::nullopt);
    const std::uint8_t* const noPlanes[] = {nullptr};
    input().handler(FakeAudioInput::stereoFloat48k(), noPlanes, 0);
    input().handler(
        AudioFormat{.sampleRate = 44100.0, .channels = 1, .sampleFormat = SampleFormat::unknown},
        noPlanes, 512);
    ASSERT_TRUE(input().deliver(4800));
    EXPECT_NEAR(static_cast<double>(recorder.stop().size()), 1600.0, 64.0);
}
