#pragma once

// A scripted audio system for tests of the recorder's logic: formats to
// report, failures to give, and blocks to deliver as if from the audio thread.

#include "platform/AudioInputBackend.h"

#include <QCoreApplication>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

struct FakeAudioInput {
    static AudioFormat stereoFloat48k() {
        return AudioFormat{
            .sampleRate = 48000.0, .channels = 2, .sampleFormat = SampleFormat::float32};
    }
    static AudioFormat notReady() { return AudioFormat{}; }

    // Reported one after another; the last one stays.
    std::deque<AudioFormat> formats{stereoFloat48k()};
    int formatQueries = 0;
    bool selectSucceeds = true;
    std::vector<QString> selected;
    std::optional<QString> startError;
    int streamsCreated = 0;
    int streamsAlive = 0;
    int installs = 0;
    int removes = 0;
    int starts = 0;
    int stops = 0;
    bool running = false;
    // Whether removing the tap stops the stream, as it does with some systems.
    bool removeTapStops = false;
    std::function<void()> duringStop;
    AudioInputStream::BlockHandler handler;

    AudioFormat nextFormat() {
        ++formatQueries;
        const AudioFormat format = formats.front();
        if (formats.size() > 1) {
            formats.pop_front();
        }
        return format;
    }

    // Delivers `frames` frames of 48 kHz stereo float at `level`, as the
    // audio thread would. False when no tap is installed.
    bool deliver(int frames, float level = 0.25f) {
        if (!handler) {
            return false;
        }
        std::vector<float> interleaved(static_cast<size_t>(frames) * 2, level);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(interleaved.data());
        const std::uint8_t* const planes[] = {bytes};
        handler(stereoFloat48k(), planes, frames);
        return true;
    }
};

class FakeAudioInputStream final : public AudioInputStream {
public:
    explicit FakeAudioInputStream(std::shared_ptr<FakeAudioInput> input)
        : m_input(std::move(input)) {
        ++m_input->streamsCreated;
        ++m_input->streamsAlive;
    }
    ~FakeAudioInputStream() override {
        --m_input->streamsAlive;
        m_input->handler = nullptr;
        m_input->running = false;
    }

    bool selectDevice(const QString& uid) override {
        m_input->selected.push_back(uid);
        return m_input->selectSucceeds;
    }
    AudioFormat inputFormat() override { return m_input->nextFormat(); }
    void installTap(BlockHandler handler) override {
        ++m_input->installs;
        m_input->handler = std::move(handler);
    }
    void removeTap() override {
        ++m_input->removes;
        m_input->handler = nullptr;
        if (m_input->removeTapStops) {
            m_input->running = false;
        }
    }
    std::optional<QString> start() override {
        ++m_input->starts;
        if (m_input->startError) {
            return m_input->startError;
        }
        m_input->running = true;
        return std::nullopt;
    }
    void stop() override {
        ++m_input->stops;
        m_input->running = false;
        if (m_input->duringStop) {
            m_input->duringStop();
        }
    }
    bool isRunning() const override { return m_input->running; }

private:
    std::shared_ptr<FakeAudioInput> m_input;
};

class FakeAudioInputBackend final : public AudioInputBackend {
public:
    std::vector<AudioInputDevice> inputDevices() const override { return devices; }
    std::unique_ptr<AudioInputStream> createStream() override {
        return std::make_unique<FakeAudioInputStream>(input);
    }

    // Posts a configuration-change notice and delivers it.
    void notifyChange() {
        emit configurationChanged();
        QCoreApplication::sendPostedEvents();
    }

    std::shared_ptr<FakeAudioInput> input = std::make_shared<FakeAudioInput>();
    std::vector<AudioInputDevice> devices{
        {.id = 1, .uid = QStringLiteral("alsa_input.usb-mic"), .name = QStringLiteral("USB Mic")},
        {.id = 2,
         .uid = QStringLiteral("alsa_input.pci-analog"),
         .name = QStringLiteral("Built-in")},
    };
};
