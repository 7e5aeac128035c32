#include "audio/ConverterCache.h"

std::shared_ptr<AudioConverter> ConverterCache::converter(const AudioFormat& format) {
    const QString key = format.key();
    const std::lock_guard lock(m_lock);
    // Planar and interleaved storage of one sample type share a key, but not
    // a converter: the cached one must read exactly this layout.
    if (const auto found = m_cache.constFind(key);
        found != m_cache.constEnd() && found.value()->inputFormat() == format) {
        return found.value();
    }
    std::shared_ptr<AudioConverter> created = AudioConverter::create(format);
    if (created) {
        m_cache.insert(key, created);
    }
    return created;
}

void ConverterCache::removeAll() {
    const std::lock_guard lock(m_lock);
    m_cache.clear();
}

std::size_t ConverterCache::count() const {
    const std::lock_guard lock(m_lock);
    return static_cast<std::size_t>(m_cache.size());
}
