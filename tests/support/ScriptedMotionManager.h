#pragma once

#include "engine/MotionManager.h"

#include <vector>

namespace backbeacon::testing {

// A motion source the test plays by hand.
class ScriptedMotionManager final : public MotionManager {
public:
    bool isDeviceMotionAvailable() const override { return available; }
    bool isDeviceMotionActive() const override { return static_cast<bool>(m_handler); }
    void startDeviceMotionUpdates(Handler handler) override {
        ++starts;
        m_handler = std::move(handler);
    }

    void setMaximumDelay(double seconds) override { delays.push_back(seconds); }
    void deliverPending() override { ++pendingDeliveries; }

    // Delivers a sample if delivery has started; returns whether it had.
    bool deliver(double pitch, double roll) { return deliver(MotionSample{pitch, roll}); }
    bool deliver(const MotionSample& sample) {
        if (!m_handler) {
            return false;
        }
        m_handler(sample);
        return true;
    }
    bool deliverNothing() {
        if (!m_handler) {
            return false;
        }
        m_handler(std::nullopt);
        return true;
    }

    bool available = true;
    int starts = 0;
    // What the engine asked for: each maximum delay, and deliveries at once.
    std::vector<double> delays;
    int pendingDeliveries = 0;

private:
    Handler m_handler;
};

} // namespace backbeacon::testing
