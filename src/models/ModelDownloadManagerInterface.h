#pragma once

class DownloadableAsset;

// Model downloads as the dictation pipeline uses them.
class ModelDownloadManagerInterface {
public:
    virtual ~ModelDownloadManagerInterface() = default;

    // Starts (or restarts) the download of `asset`; progress and failures are
    // published by the manager.
    virtual void start(const DownloadableAsset& asset) = 0;
};
