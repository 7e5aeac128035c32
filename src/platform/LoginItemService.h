#pragma once

// Registration of the application as something the desktop session starts
// when the user logs in.
class LoginItemService {
public:
    enum class Status { notRegistered, enabled, notFound };

    virtual ~LoginItemService() = default;

    virtual Status status() const = 0;
    // Both return false when the registration could not be changed.
    virtual bool registerItem() = 0;
    virtual bool unregisterItem() = 0;
};
