#pragma once

#include <QHashFunctions>
#include <QString>

#include <cstdint>

// One microphone as the settings screen lists it. `uid` is what the settings
// store: it survives restarts of the audio system. `id` only identifies the
// device while this process runs.
struct AudioInputDevice {
    std::uint32_t id = 0;
    QString uid;
    QString name;

    bool operator==(const AudioInputDevice&) const = default;
};

inline size_t qHash(const AudioInputDevice& device, size_t seed = 0) {
    return qHashMulti(seed, device.id, device.uid, device.name);
}
