#pragma once

#include "audio/SampleBuffer.h"
#include "common/Cancellation.h"
#include "common/ServiceError.h"

#include <QString>

#include <functional>

// Why a media file's audio could not be decoded.
class MediaDecodeError : public ServiceError {
public:
    enum class Kind { tooLong, readFailed, noAudioTrack, unsupported };

    // The media lasts `seconds`, more than the limit.
    static MediaDecodeError tooLong(double seconds);
    // Reading failed; `detail` says why in a few words.
    static MediaDecodeError readFailed(const QString& detail);
    static MediaDecodeError noAudioTrack();
    static MediaDecodeError unsupported();

    Kind kind() const { return m_kind; }

private:
    MediaDecodeError(Kind kind, QString description);

    Kind m_kind;
};

namespace MediaDecoder {

// Longer media is refused before decoding starts.
constexpr double maximumDurationSeconds = 7200.0;

// Decodes the first audio track of the media file at `path` to 16 kHz mono
// float samples. Runs on the calling (worker) thread and blocks until done.
//
// `progress` receives the decoded fraction (0…1, never decreasing) while the
// duration is known, and 1.0 at the end; it is called on the calling thread.
// `cancellation` is checked before the file is opened and between packets.
//
// Throws MediaDecodeError:
// - tooLong when the container states a duration above maximumDurationSeconds
//   (exactly the limit, or an unknown duration, is accepted);
// - readFailed with the system's reason when the file cannot be opened or read
//   (missing, unreadable, a directory, an I/O error mid-stream);
// - unsupported when the file is not a media container FFmpeg knows (for
//   example a text file named .mp3) or its audio codec cannot be decoded;
// - noAudioTrack when there is no audio stream or it decodes to no samples.
// Throws OperationCancelled when cancelled.
SampleBuffer decodeAudio(const QString& path, const std::function<void(double fraction)>& progress,
                         const CancellationFlag& cancellation);

} // namespace MediaDecoder
