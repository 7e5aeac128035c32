#pragma once

#include <QObject>
#include <QString>

#include <optional>

struct Transcript;

// The history as the dictation pipeline and media jobs write to it.
class HistoryStoreInterface {
public:
    virtual ~HistoryStoreInterface() = default;

    // Stores one dictation row; `rawText` is the recogniser's text when it
    // differs from `text`. Returns whether the row was stored.
    virtual bool insertDictation(const QString& text, const QString& language,
                                 const std::optional<QString>& rawText) = 0;
    // Stores a media transcript whose plain text is `text`; false when `text`
    // is empty or the row could not be stored.
    virtual bool insertMedia(const QString& text, const Transcript& transcript) = 0;
    // Number of rows currently listed.
    virtual qsizetype entryCount() const = 0;
    // Text of the newest row, if any.
    virtual std::optional<QString> newestText() const = 0;
};
