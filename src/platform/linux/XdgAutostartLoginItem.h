#pragma once

#include "platform/LoginItemService.h"

#include <QString>

// Login item through the XDG autostart standard: a desktop entry in
// $XDG_CONFIG_HOME/autostart. The item is enabled while the file exists and
// is not marked Hidden=true (the way desktops record "disabled by the user").
class XdgAutostartLoginItem final : public LoginItemService {
public:
    // `executablePath` is the program the session starts; by default the
    // running executable.
    explicit XdgAutostartLoginItem(QString autostartDirectory = {}, QString executablePath = {});

    Status status() const override;
    bool registerItem() override;
    bool unregisterItem() override;

    QString desktopFilePath() const;

private:
    QString m_autostartDirectory;
    QString m_executablePath;
};
