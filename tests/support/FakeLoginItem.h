#pragma once

#include "model/LoginItem.h"

namespace backbeacon::testing {

// A login item that remembers what was asked of it. Register and unregister
// move the status unless a failure reason is set, which they then return.
class FakeLoginItem final : public LoginItem {
public:
    explicit FakeLoginItem(Status initial = Status::notRegistered) : m_status(initial) {}

    Status status() const override {
        ++statusQueries;
        return m_status;
    }
    std::optional<QString> registerItem() override {
        ++registerCalls;
        if (failure) {
            return failure;
        }
        m_status = Status::enabled;
        return std::nullopt;
    }
    std::optional<QString> unregisterItem() override {
        ++unregisterCalls;
        if (failure) {
            return failure;
        }
        m_status = Status::notRegistered;
        return std::nullopt;
    }

    void setStatus(Status status) { m_status = status; }

    std::optional<QString> failure;
    mutable int statusQueries = 0;
    int registerCalls = 0;
    int unregisterCalls = 0;

private:
    Status m_status;
};

} // namespace backbeacon::testing
