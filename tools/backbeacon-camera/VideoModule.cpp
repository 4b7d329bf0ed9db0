#include "backbeacon-camera/VideoModule.h"

#include <array>
#include <dlfcn.h>
#include <filesystem>

namespace backbeacon::camera {

namespace {

constexpr const char* kModuleName = "backbeacon-camera-video.so";

// Next to the executable (the build tree), else where it is installed,
// relative to the executable (an install moved to another prefix) or as
// configured. Loaded once and kept: the sources it makes run its code until
// the end.
void* module(std::string& error) {
    static void* handle = nullptr;
    static std::string why;
    static bool tried = false;
    if (!tried) {
        tried = true;
        std::error_code ignored;
        const auto self = std::filesystem::read_symlink("/proc/self/exe", ignored);
        for (const std::filesystem::path& dir :
             {self.parent_path(), self.parent_path() / BACKBEACON_CAMERA_MODULE_FROM_BINDIR,
              std::filesystem::path(BACKBEACON_CAMERA_MODULE_DIR)}) {
            const auto path = dir / kModuleName;
            if (!dir.empty() && std::filesystem::exists(path, ignored)) {
                handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
                if (!handle) {
                    why = ::dlerror();
                }
                break;
            }
        }
        if (!handle && why.empty()) {
            why = std::string(kModuleName) + " not found";
        }
    }
    if (!handle) {
        error = "video support is missing: " + why;
    }
    return handle;
}

} // namespace

std::unique_ptr<FrameSource> openVideoFile(const std::string& path, const VideoTiming& timing,
                                           std::string& error) {
    void* handle = module(error);
    const auto open =
        handle ? reinterpret_cast<OpenVideoFileFunction>(::dlsym(handle, kOpenVideoFileSymbol))
               : nullptr;
    if (!open) {
        return nullptr;
    }
    std::array<char, 512> message{};
    FrameSource* source = open(path.c_str(), timing.rate, timing.rateGiven ? 1 : 0,
                               timing.durationSeconds.value_or(-1), message.data(), message.size());
    if (!source) {
        error = message.data();
    }
    return std::unique_ptr<FrameSource>(source);
}

std::unique_ptr<FrameSource> openCameraThroughVideoModule(const std::string& device, double rate,
                                                          std::string& error) {
    void* handle = module(error);
    const auto open =
        handle ? reinterpret_cast<OpenCameraFunction>(::dlsym(handle, kOpenCameraSymbol)) : nullptr;
    if (!open) {
        return nullptr;
    }
    std::array<char, 512> message{};
    FrameSource* source = open(device.c_str(), rate, message.data(), message.size());
    if (!source) {
        error = message.data();
    }
    return std::unique_ptr<FrameSource>(source);
}

} // namespace backbeacon::camera
