#pragma once

#include <QString>

#include <optional>

namespace backbeacon {

// The application's own entry among the programs started at login.
class LoginItem {
public:
    // Values as the platform reports them.
    enum class Status { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

    virtual ~LoginItem() = default;

    virtual Status status() const = 0;
    // Each returns nothing on success, otherwise a human-readable reason.
    // `register` is a C++ keyword, hence the longer names.
    virtual std::optional<QString> registerItem() = 0;
    virtual std::optional<QString> unregisterItem() = 0;
};

} // namespace backbeacon
