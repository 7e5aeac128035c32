#pragma once

#include <QStringList>

// The commands of murmex-cli. Results go to standard output; errors to
// standard error with the same messages the application shows, and a
// non-zero exit status.
namespace CliCommands {

// Exit statuses.
constexpr int success = 0;
constexpr int failure = 1;
constexpr int usageError = 2;

// Runs the command line `arguments` (program name first) and returns the
// exit status. Runs the event loop while a command needs it.
int run(const QStringList& arguments);

} // namespace CliCommands
