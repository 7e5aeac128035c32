#include "common/TextMetrics.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>

namespace TextMetrics {

qsizetype characterCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
    }
    return count;
}

qsizetype wordCount(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[ \\n\\t\\r]"));
    return text.split(separators, Qt::SkipEmptyParts).size();
}

} // namespace TextMetrics
