#include "backbeacon-camera/FaceModel.h"

#include "backbeacon-camera/HeadPose.h"

#include <dlib/image_processing/shape_predictor.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace backbeacon::camera {

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
}

FaceModel::~FaceModel() = default;

} // namespace backbeacon::camera
