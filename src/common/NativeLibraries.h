#pragma once

#include <QString>

// The native inference libraries linked into the application: whisper.cpp
// for speech and llama.cpp for the language model, sharing one ggml.
namespace NativeLibraries {

// Initialises the ggml backends and llama.cpp once per process and routes
// their log output into the application's log. Safe to call repeatedly.
void initialise();

// "whisper.cpp 1.9.1, ggml 0.x.y (commit), CPU: ..." for logs and --version.
QString describe();

} // namespace NativeLibraries
