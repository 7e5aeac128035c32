#pragma once

#include <QString>

namespace TextMetrics {

// Characters as a reader counts them (grapheme clusters): "é" written as e
// plus a combining accent, or a flag emoji, count once.
qsizetype characterCount(const QString& text);

// Words separated by spaces, tabs, line feeds or carriage returns.
qsizetype wordCount(const QString& text);

} // namespace TextMetrics
