#pragma once

#include <QString>

// Per-user locations of the application, resolved from the XDG base
// directories on every call so that a changed environment is honoured.
namespace AppPaths {

// $XDG_DATA_HOME/murmex: the history database and the model directories.
QString dataDirectory();

// $XDG_CONFIG_HOME/murmex.
QString configDirectory();

// $XDG_CONFIG_HOME/murmex/defaults.json: the per-user defaults store.
QString defaultsFile();

// $XDG_CONFIG_HOME/autostart: where desktop sessions look for login items.
QString autostartDirectory();

} // namespace AppPaths
