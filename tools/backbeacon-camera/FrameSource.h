#pragma once

#include <opencv2/core/mat.hpp>

namespace backbeacon::camera {

// Where frames come from: a camera, or a recording played as if it were one.
class FrameSource {
public:
    enum class Read {
        // `image` holds the next frame and `seconds` its time: a camera's on the
        // steady clock, so it runs on across a reopening; a recording's since
        // its start.
        Frame,
        End,  // a recording has ended
        Lost, // a camera stopped delivering
    };

    virtual ~FrameSource() = default;

    // The next frame. A camera blocks until it arrives; a recording returns at
    // once, and `realTime()` says the caller should wait until `seconds`.
    virtual Read read(cv::Mat& image, double& seconds) = 0;
    virtual bool realTime() const = 0;
};

} // namespace backbeacon::camera
