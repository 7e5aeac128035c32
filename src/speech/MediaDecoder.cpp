#include "speech/MediaDecoder.h"

#include "audio/AudioConverter.h"
#include "common/Logging.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <memory>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace {

const QString readFailedPrefix = QStringLiteral("Could not read the audio: ");
const QString noAudioTrackMessage =
    QStringLiteral("This file doesn't contain an audio track to transcribe.");
const QString unsupportedMessage = QStringLiteral("This media format isn't supported.");

// Progress is reported in steps of at least this fraction: a two-hour MP3 has
// hundreds of thousands of frames, and every report travels to the main thread.
constexpr double progressStep = 0.001;

// Room added to the reservation made from the container's duration, so that
// a duration that is a little short does not force a copy of everything.
constexpr size_t reserveSlackSamples = static_cast<size_t>(SampleRate::speech);

struct FormatContextDeleter {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

QString errorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(error, text, sizeof text) < 0) {
        return QStringLiteral("error %1").arg(error);
    }
    return QString::fromUtf8(text);
}

// Opening fails either because the bytes are not media FFmpeg understands, or
// because the file itself cannot be read (missing, no permission, a directory,
// an I/O error). Only the second kind is worth a reason.
MediaDecodeError openError(int error) {
    const bool notMedia = error == AVERROR_INVALIDDATA || error == AVERROR_DEMUXER_NOT_FOUND ||
                          error == AVERROR_DECODER_NOT_FOUND || error == AVERROR_PATCHWELCOME ||
                          error == AVERROR(EINVAL) || error == AVERROR(ENOSYS);
    return notMedia ? MediaDecodeError::unsupported()
                    : MediaDecodeError::readFailed(errorText(error));
}

// FFmpeg writes its complaints about damaged data to standard error; they go
// to the application's log instead, errors only. A damaged file repeats the
// same complaint for every frame, so a line equal to the previous one on the
// same thread is dropped.
void forwardFFmpegLog(void* object, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR) {
        return;
    }
    thread_local int printPrefix = 1;
    thread_local QString previous;
    char line[1024];
    av_log_format_line2(object, level, format, arguments, line, sizeof line, &printPrefix);
    const QString text = QString::fromUtf8(line).trimmed();
    if (!text.isEmpty() && text != previous) {
        previous = text;
        qCWarning(lcMediaTranscription).noquote() << "FFmpeg:" << text;
    }
}

void installFFmpegLogForwarding() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(forwardFFmpegLog); });
}

// Appends one converted block. The buffer grows by a quarter when it must grow
// at all, not by doubling: at two hours of audio a doubled buffer next to the
// old one would be three times the size of the samples themselves.
void appendSamples(SampleBuffer& samples, const SampleBuffer& block) {
    const size_t needed = samples.size() + block.size();
    if (needed > samples.capacity()) {
        samples.reserve(
            std::max(needed, samples.capacity() + samples.capacity() / 4 + reserveSlackSamples));
    }
    samples.insert(samples.end(), block.begin(), block.end());
}

// Decodes one audio stream frame by frame into 16 kHz mono samples.
class StreamDecoder {
public:
    StreamDecoder(AVCodecContext* codec, AVRational timeBase, double totalSeconds,
                  const std::function<void(double)>& progress)
        : m_codec(codec)
        , m_timeBase(timeBase)
        , m_totalSeconds(totalSeconds)
        , m_progress(progress)
        , m_frame(av_frame_alloc()) {
        if (!m_frame) {
            throw MediaDecodeError::readFailed(errorText(AVERROR(ENOMEM)));
        }
        if (m_totalSeconds > 0.0) {
            const double expected =
                std::ceil(std::min(m_totalSeconds, MediaDecoder::maximumDurationSeconds) *
                          SampleRate::speech);
            m_samples.reserve(static_cast<size_t>(expected) + reserveSlackSamples);
        }
    }

    // Feeds one packet, or the end of the stream when `packet` is null. A
    // packet the decoder rejects as damaged is skipped, as players do.
    void decode(const AVPacket* packet) {
        if (avcodec_send_packet(m_codec, packet) < 0 && packet != nullptr) {
            return;
        }
        while (avcodec_receive_frame(m_codec, m_frame.get()) >= 0) {
            convertFrame(*m_frame);
            av_frame_unref(m_frame.get());
        }
    }

    SampleBuffer finish() {
        decode(nullptr);
        if (m_converter) {
            appendSamples(m_samples, m_converter->flush());
        }
        // A container that overstated its duration leaves a reservation far
        // larger than the audio; give it back unless the copy would cost more.
        if (m_samples.capacity() - m_samples.size() > m_samples.size() / 8 + reserveSlackSamples) {
            m_samples.shrink_to_fit();
        }
        return std::move(m_samples);
    }

private:
    void convertFrame(const AVFrame& frame) {
        if (frame.nb_samples <= 0) {
            return;
        }
        const AudioFormat format{static_cast<double>(frame.sample_rate),
                                 frame.ch_layout.nb_channels,
                                 AudioFormat::sampleFormatFromFFmpeg(frame.format)};
        if (!m_converter || m_converter->inputFormat() != format) {
            // One converter serves the whole stream, but a stream may change
            // its rate or channels part-way (concatenated MP3s, chained Ogg
            // streams). The old converter's tail belongs before the new audio,
            // so it is flushed, and a converter for the new format takes over.
            if (m_converter) {
                appendSamples(m_samples, m_converter->flush());
            }
            m_converter = AudioConverter::create(format);
            if (!m_converter) {
                // Skipped; the next frame tries again.
                return;
            }
        }
        appendSamples(m_samples, m_converter->convert(frame.extended_data, frame.nb_samples));
        reportProgress(frame);
    }

    void reportProgress(const AVFrame& frame) {
        if (m_totalSeconds <= 0.0 || !m_progress) {
            return;
        }
        const std::int64_t timestamp =
            frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
        if (timestamp == AV_NOPTS_VALUE) {
            return;
        }
        const double seconds = static_cast<double>(timestamp) * av_q2d(m_timeBase);
        if (!std::isfinite(seconds)) {
            return;
        }
        const double fraction = std::clamp(seconds / m_totalSeconds, 0.0, 1.0);
        if (m_reported < 0.0 || fraction >= m_reported + progressStep) {
            m_reported = fraction;
            m_progress(fraction);
        }
    }

    AVCodecContext* m_codec;
    AVRational m_timeBase;
    double m_totalSeconds;
    const std::function<void(double)>& m_progress;
    FramePtr m_frame;
    std::unique_ptr<AudioConverter> m_converter;
    SampleBuffer m_samples;
    double m_reported = -1.0;
};

} // namespace

MediaDecodeError::MediaDecodeError(Kind kind, QString description)
    : ServiceError(std::move(description))
    , m_kind(kind) {}

MediaDecodeError MediaDecodeError::tooLong(double seconds) {
    return MediaDecodeError(
        Kind::tooLong, QString::asprintf("This media is %.1f hours long. The limit is 2 hours.",
                                         seconds / 3600.0));
}

MediaDecodeError MediaDecodeError::readFailed(const QString& detail) {
    return MediaDecodeError(Kind::readFailed, readFailedPrefix + detail);
}

MediaDecodeError MediaDecodeError::noAudioTrack() {
    return MediaDecodeError(Kind::noAudioTrack, noAudioTrackMessage);
}

MediaDecodeError MediaDecodeError::unsupported() {
    return MediaDecodeError(Kind::unsupported, unsupportedMessage);
}

namespace MediaDecoder {

SampleBuffer decodeAudio(const QString& path, const std::function<void(double fraction)>& progress,
                         const CancellationFlag& cancellation) {
    cancellation.throwIfCancelled();
    installFFmpegLogForwarding();

    // The path is a local file: naming the file protocol keeps a name such as
    // "a:b.mp3" from being taken for a protocol, and the whitelist keeps a
    // playlist inside the file from reaching out to the network.
    const QByteArray location = "file:" + QFile::encodeName(QFileInfo(path).absoluteFilePath());
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* opened = nullptr;
    const int openResult = avformat_open_input(&opened, location.constData(), nullptr, &options);
    av_dict_free(&options);
    if (openResult < 0) {
        throw openError(openResult);
    }
    FormatContextPtr format(opened);
    if (const int result = avformat_find_stream_info(format.get(), nullptr); result < 0) {
        throw openError(result);
    }

    double totalSeconds = 0.0;
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
        const double seconds = static_cast<double>(format->duration) / AV_TIME_BASE;
        if (std::isfinite(seconds) && seconds > maximumDurationSeconds) {
            throw MediaDecodeError::tooLong(seconds);
        }
        totalSeconds = seconds;
    }

    AVStream* stream = nullptr;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (!stream && format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            stream = format->streams[i];
        } else {
            // Nothing else is read: video packets are skipped by the demuxer.
            format->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    if (!stream) {
        throw MediaDecodeError::noAudioTrack();
    }
    // An audio stream whose rate or channels could not be found is not audio
    // FFmpeg understands: random bytes named .mp3 open as an MP3 stream that
    // never yields a valid frame.
    const AVCodecParameters* parameters = stream->codecpar;
    if (parameters->sample_rate <= 0 || parameters->ch_layout.nb_channels <= 0) {
        throw MediaDecodeError::unsupported();
    }
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (!decoder) {
        throw MediaDecodeError::unsupported();
    }
    CodecContextPtr codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), parameters) < 0) {
        throw MediaDecodeError::unsupported();
    }
    codec->pkt_timebase = stream->time_base;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        throw MediaDecodeError::unsupported();
    }

    PacketPtr packet(av_packet_alloc());
    if (!packet) {
        throw MediaDecodeError::readFailed(errorText(AVERROR(ENOMEM)));
    }
    StreamDecoder streamDecoder(codec.get(), stream->time_base, totalSeconds, progress);
    for (;;) {
        cancellation.throwIfCancelled();
        const int result = av_read_frame(format.get(), packet.get());
        if (result == AVERROR_EOF) {
            break;
        }
        if (result < 0) {
            throw MediaDecodeError::readFailed(errorText(result));
        }
        if (packet->stream_index == stream->index) {
            streamDecoder.decode(packet.get());
        }
        av_packet_unref(packet.get());
    }
    // The demuxer reports an I/O error near the end as the end of the file.
    if (format->pb && format->pb->error < 0) {
        throw MediaDecodeError::readFailed(errorText(format->pb->error));
    }

    SampleBuffer samples = streamDecoder.finish();
    if (progress) {
        progress(1.0);
    }
    if (samples.empty()) {
        throw MediaDecodeError::noAudioTrack();
    }
    return samples;
}

} // namespace MediaDecoder
