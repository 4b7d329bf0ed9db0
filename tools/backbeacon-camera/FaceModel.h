#pragma once

#include <memory>
#include <optional>
#include <string>

namespace dlib {
class shape_predictor;
}

namespace backbeacon::camera {

// dlib's 68-point landmark model: about 100 MB to read and a second to load,
// so loaded once and shared by every tracker.
class FaceModel {
public:
    // Why the file cannot be the model (missing, unreadable, empty), checked
    // without loading it; nothing when it may be.
    static std::optional<std::string> problemWith(const std::string& path);

    // Throws std::runtime_error when the file does not hold the model.
    explicit FaceModel(const std::string& path);
    ~FaceModel();

    const dlib::shape_predictor& predictor() const { return *m_predictor; }

private:
    std::unique_ptr<dlib::shape_predictor> m_predictor;
};

} // namespace backbeacon::camera
