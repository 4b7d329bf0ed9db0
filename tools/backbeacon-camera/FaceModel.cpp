#include "backbeacon-camera/FaceModel.h"

#include "backbeacon-camera/HeadPose.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <dlib/image_processing/shape_predictor.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/mman.h>

namespace backbeacon::camera {

namespace {

#ifndef MADV_COLLAPSE
constexpr int MADV_COLLAPSE = 25; // Linux 6.1; older headers lack it
#endif

// Placing the landmarks reads one leaf of each of the model's 7,500 trees,
// spread over 65 MB of the heap. With 4 KiB pages nearly every read misses
// the TLB, which made a call at 10 Hz, caches gone cold between frames,
// cost three times one made right after another; on 2 MiB pages it costs
// about the same. Kernels before 6.1 only take the hint and back the heap so
// later; where huge pages are off nothing changes.
void preferHugePagesForHeap() {
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        if (!line.ends_with("[heap]")) {
            continue;
        }
        std::uintptr_t start = 0, end = 0;
        if (std::sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR, &start, &end) != 2) {
            return;
        }
        start = (start + kHugePage - 1) & ~(kHugePage - 1);
        end &= ~(kHugePage - 1);
        if (end > start) {
            void* heap = reinterpret_cast<void*>(start);
            if (::madvise(heap, end - start, MADV_COLLAPSE) != 0) {
                ::madvise(heap, end - start, MADV_HUGEPAGE);
            }
        }
        return;
    }
}

} // namespace

std::optional<std::string> FaceModel::problemWith(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) {
        return "face model not found: " + path;
    }
    if (!std::filesystem::is_regular_file(status)) {
        return "face model is not a file: " + path;
    }
    std::ifstream file(path, std::ios::binary);
    char first = 0;
    if (!file || !file.get(first)) {
        return "face model cannot be read: " + path;
    }
    return std::nullopt;
}

FaceModel::FaceModel(const std::string& path) : m_predictor(new dlib::shape_predictor) {
    try {
        dlib::deserialize(path) >> *m_predictor;
    } catch (const std::exception&) {
        throw std::runtime_error("face model cannot be loaded: " + path);
    }
    if (m_predictor->num_parts() != FaceLandmarks().size()) {
        throw std::runtime_error("face model does not give 68 landmarks: " + path);
    }
    preferHugePagesForHeap();
}

FaceModel::~FaceModel() = default;

} // namespace backbeacon::camera
