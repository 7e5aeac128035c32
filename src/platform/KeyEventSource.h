#pragma once

#include "platform/KeyEvent.h"

#include <functional>

// A listen-only stream of the session's keyboard events, delivered on the
// main thread. Events are never consumed: other applications still get them.
class KeyEventSource {
public:
    using Handler = std::function<void(const KeyEvent&)>;

    virtual ~KeyEventSource() = default;

    // Begins delivering events to `handler`. False when no keyboard can be
    // listened to (missing permission, no device).
    virtual bool start(Handler handler) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    // Resumes delivery after a disabled event.
    virtual void reenable() = 0;
};
