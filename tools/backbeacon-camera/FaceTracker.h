#pragma once

#include "backbeacon-camera/FaceModel.h"
#include "backbeacon-camera/HeadPose.h"

#include <memory>
#include <optional>
#include <vector>

namespace cv {
class Mat;
template <typename T> class Rect_;
using Rect = Rect_<int>;
} // namespace cv

namespace backbeacon::camera {

// Finds the largest face in a grey frame and follows it: dlib's HOG detector
// (on a ~320-pixel copy) finds it, and once a second confirms, around the face
// only, that it is still there; in between, the last landmarks say where to
// place the next ones.
class FaceTracker {
public:
    explicit FaceTracker(std::shared_ptr<const FaceModel> model);
    ~FaceTracker();

    // The face's landmarks in this frame (8-bit, one channel), or nothing when
    // no face is in view.
    std::optional<FaceLandmarks> track(const cv::Mat& grey);

    // Whether the last call ran the detector, for the measuring tool.
    bool lastCallDetected() const { return m_lastCallDetected; }

    // An upright rectangle in frame pixels.
    struct Box {
        double left = 0;
        double top = 0;
        double width = 0;
        double height = 0;
        double area() const { return width * height; }
    };

    // Where, how large and how turned the inner face (brows, eyes, nose,
    // mouth) is: its centroid, its RMS radius and the slope of its eyes.
    struct Placement {
        double x = 0;
        double y = 0;
        double radius = 0;
        double angle = 0;
    };

private:
    struct Detector;
    // Finds the largest face anywhere in the frame and starts following it.
    std::optional<FaceLandmarks> detect(const cv::Mat& grey);
    // The detector's box for the face being followed, if it still sees it.
    std::optional<Box> confirm(const cv::Mat& grey, const Box& tracked);
    // The detector's faces in `area` of the frame, looked for in a copy
    // shrunk by `shrink`, in frame pixels.
    std::vector<Box> faces(const cv::Mat& grey, const cv::Rect& area, double shrink);
    // Where the detector would have boxed a face placed so.
    Box boxFor(const Placement& face) const;
    FaceLandmarks place(const cv::Mat& grey, const Box& box);
    // Moves the box landmarks are placed in, if the face has moved; returns
    // how far the face moved from it, as a share of its width.
    double follow(const Placement& face);

    // The face's box in a small copy, to tell cheaply when it has gone.
    cv::Mat thumbnail(const cv::Mat& grey) const;
    void remember(const cv::Mat& grey);
    bool stillLooksLikeFace(const cv::Mat& grey) const;

    std::shared_ptr<const FaceModel> m_model;
    std::unique_ptr<Detector> m_detector;
    bool m_lastCallDetected = false;
    int m_framesSinceDetection = 0;
    int m_missedDetections = 0;
    std::optional<Placement> m_last;
    Box m_search; // where the next landmarks are placed
    // The detector's box around the inner face, in its radii along and across
    // the eyes, as learnt at the last detection.
    double m_boxAlong = 0;
    double m_boxAcross = 0;
    double m_boxWidth = 1;
    double m_boxHeight = 1;
};

} // namespace backbeacon::camera
