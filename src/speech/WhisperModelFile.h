#pragma once

#include <QString>

#include <optional>

// Checks the structure of a whisper model file before the library loads it.
// whisper.cpp accepts some damaged files as empty models and aborts the
// process on others (for example a download cut short inside the header or
// the last tensor), so a file is only handed to it when its header,
// vocabulary and every tensor record lie completely inside the file.
namespace WhisperModelFile {

// None when the file looks complete; otherwise why it is not.
std::optional<QString> structuralProblem(const QString& path);

} // namespace WhisperModelFile
