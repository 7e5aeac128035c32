#pragma once

#include <QObject>
#include <QString>

#include <optional>

// The dictation history as the dictation pipeline uses it.
class HistoryStoreInterface {
public:
    virtual ~HistoryStoreInterface() = default;

    // Stores one dictation row; `rawText` is the recogniser's text when it
    // differs from `text`. Returns whether the row was stored.
    virtual bool insertDictation(const QString& text, const QString& language,
                                 const std::optional<QString>& rawText) = 0;
    // Number of rows currently listed.
    virtual qsizetype entryCount() const = 0;
    // Text of the newest row, if any.
    virtual std::optional<QString> newestText() const = 0;
};
