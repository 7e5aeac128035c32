#pragma once

#include <QString>
#include <QUrl>
#include <qcoro/qcorotask.h>

#include <cstdint>
#include <functional>
#include <memory>

// Progress of a media link download.
struct DownloadProgress {
    double fraction = 0.0;
    std::int64_t bytesWritten = 0;
    std::int64_t totalBytes = 0;
};

// A media link the user typed, checked and named.
struct ValidatedMediaLink {
    QUrl url;
    QString mediaName;
};

// Downloads one media link to a temporary file.
class MediaURLDownloaderInterface {
public:
    using ProgressHandler = std::function<void(const DownloadProgress&)>;

    virtual ~MediaURLDownloaderInterface() = default;

    // The path of the downloaded temporary file, which the caller then owns.
    // Progress arrives on the awaiting thread. Throws a ServiceError on
    // failure and OperationCancelled after cancel().
    virtual QCoro::Task<QString> download(QUrl url, ProgressHandler progress) = 0;
    virtual void cancel() = 0;
};

// How media links are checked and fetched.
struct MediaLinkSupport {
    // Throws a ServiceError whose description tells the user what is wrong.
    std::function<ValidatedMediaLink(const QString& text)> validate;
    std::function<std::unique_ptr<MediaURLDownloaderInterface>()> makeDownloader;
};
