#pragma once

#include "audio/AudioConverter.h"

#include <QHash>
#include <QString>

#include <memory>
#include <mutex>

// One converter per input format, so a converter is built only when a block
// arrives in a format not seen since the cache was last emptied. Shared by the
// main thread (which empties it) and the audio thread (which converts).
class ConverterCache {
public:
    // The converter for `format`, created on first use; none when that format
    // cannot be converted (nothing is cached then). A converter handed out
    // stays valid after the cache is emptied.
    std::shared_ptr<AudioConverter> converter(const AudioFormat& format);
    void removeAll();
    std::size_t count() const;

private:
    mutable std::mutex m_lock;
    QHash<QString, std::shared_ptr<AudioConverter>> m_cache;
};
