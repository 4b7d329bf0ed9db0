#pragma once

#include "model/LoginItem.h"

namespace backbeacon::testing {

// A login item that counts what is asked of it. Register and unregister move
// the status, or return `failure` when one is set.
class FakeLoginItem final : public LoginItem {
public:
    explicit FakeLoginItem(Status initial = Status::notRegistered) : m_status(initial) {}

    Status status() const override {
        ++statusQueries;
        return m_status;
    }
    std::optional<QString> registerItem() override {
        return change(registerCalls, Status::enabled);
    }
    std::optional<QString> unregisterItem() override {
        return change(unregisterCalls, Status::notRegistered);
    }
    void setStatus(Status status) { m_status = status; }

    std::optional<QString> failure;
    mutable int statusQueries = 0;
    int registerCalls = 0;
    int unregisterCalls = 0;

private:
    std::optional<QString> change(int& calls, Status next) {
        ++calls;
        m_status = failure ? m_status : next;
        return failure;
    }
    Status m_status;
};

} // namespace backbeacon::testing
