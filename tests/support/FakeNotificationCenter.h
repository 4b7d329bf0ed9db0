#pragma once

#include "notify/NotificationCenter.h"

namespace backbeacon::testing {

// Records what it is asked to show; answers authorization with `status`.
class FakeNotificationCenter final : public NotificationCenter {
public:
    using NotificationCenter::setSoundPlayedBy; // as the server's capabilities would

    void setNotificationCategories(std::vector<NotificationCategory>) override {}
    void add(const NotificationRequest& request) override { requests.push_back(request); }
    void getAuthorizationStatus(std::function<void(int)> done) override {
        ++authorizationQueries;
        done(status);
    }

    // The user picks `action` on the latest request.
    void invoke(const QString& action) {
        emit actionInvoked(requests.empty() ? QString() : requests.back().identifier, action);
    }

    std::vector<NotificationRequest> requests;
    int status = 2;
    int authorizationQueries = 0;
};

} // namespace backbeacon::testing
