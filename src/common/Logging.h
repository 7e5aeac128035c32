#pragma once

#include <QLoggingCategory>

// Named loggers of the application. The names are stable: they are what a user
// filters on in the journal (`journalctl --user -t murmex CATEGORY=...`).
Q_DECLARE_LOGGING_CATEGORY(lcRecording)
Q_DECLARE_LOGGING_CATEGORY(lcMediaTranscription)
Q_DECLARE_LOGGING_CATEGORY(lcModelResidency)
Q_DECLARE_LOGGING_CATEGORY(lcNews)
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)
Q_DECLARE_LOGGING_CATEGORY(lcCleanup)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
Q_DECLARE_LOGGING_CATEGORY(lcHistory)

namespace Logging {

// Routes every Qt message to the systemd journal when one is running, else to
// standard error, one line per message prefixed with its category.
void installMessageHandler();

} // namespace Logging
