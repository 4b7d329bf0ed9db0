#pragma once

#include <string>
#include <vector>

namespace backbeacon::camera {

// What a V4L2 device node says about itself before anyone streams from it.
enum class DeviceState {
    Ready,      // a capture device no one else is streaming from
    Missing,    // no such node, or it cannot be opened
    NotCapture, // not a V4L2 video capture device (a metadata node, a file)
    Busy,       // another program holds its stream
};

DeviceState probeV4l2Device(const std::string& path);

// The /dev/video* nodes, in their number order.
std::vector<std::string> videoDeviceNodes();

} // namespace backbeacon::camera
