#include "backbeacon-camera/FaceTracker.h"

#include <algorithm>
#include <cmath>
#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/image_processing/shape_predictor.h>
#include <dlib/opencv/cv_image.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace backbeacon::camera {

namespace {

// The detector finds faces of 80 pixels and more. A face filling a quarter of
// the frame's width or more is found on a 320-pixel copy in about 10 ms; one
// further away needs a larger copy, about four times the cost.
constexpr int kDetectionWidth = 320;
constexpr int kCloseDetectionWidth = 640;
constexpr int kCloseLookEvery = 5;
// Tracked frames between confirmations that the face is still there, and the
// width the face is brought to for that.
constexpr int kConfirmEvery = 30;
constexpr double kConfirmFaceWidth = 110;
// A followed face that grows or shrinks more than this in one frame, or moves
// more than this share of its box, has been lost, not followed.
constexpr double kMaxScaleStep = 1.3;
constexpr double kMaxMoveShare = 0.5;
// How far, as a share of its box, the face may wander before the box follows;
// past the second share the landmarks are placed again in the moved box at
// once (at most twice a frame), as the predictor is only right in a box close
// to the detector's.
constexpr double kBoxSlack = 0.03;
constexpr double kReplaceShare = 0.08;
constexpr int kMaxReplacements = 2;
// A followed box that overlaps the detector's less than this has strayed.
constexpr double kReanchorOverlap = 0.6;
// The face's box shrunk to a thumbnail this size, and how alike (normalised
// correlation) the thumbnails of a still-present face stay.
constexpr int kThumbnailSize = 24;
constexpr float kMinLikeness = 0.6F;
// The size the face is enlarged (or reduced) to for placing landmarks, and
// the margin kept around it, as a share of its box.
constexpr double kPlaceWidth = 240;
constexpr double kPlaceMargin = 0.25;

using Box = FaceTracker::Box;
using Placement = FaceTracker::Placement;

// Measured on the brows, eyes, nose and mouth, which the predictor places by
// what it sees; the jaw line it largely fits to the box it is given, so boxes
// drawn from it would grow or shrink from frame to frame. Centroid, radius and
// eye slope do not change as the face turns in the picture's plane, so neither
// does the box drawn from them.
Placement placementOf(const FaceLandmarks& points) {
    constexpr std::size_t kFirstInner = 17;
    constexpr std::size_t kCount = std::tuple_size_v<FaceLandmarks> - kFirstInner;
    Placement face;
    for (std::size_t i = kFirstInner; i < points.size(); ++i) {
        face.x += points[i].x / kCount;
        face.y += points[i].y / kCount;
    }
    double sum = 0;
    for (std::size_t i = kFirstInner; i < points.size(); ++i) {
        sum += std::pow(points[i].x - face.x, 2) + std::pow(points[i].y - face.y, 2);
    }
    face.radius = std::sqrt(sum / kCount);
    // Outer eye corners: image left, then image right.
    face.angle = std::atan2(points[45].y - points[36].y, points[45].x - points[36].x);
    return face;
}

double overlap(const Box& a, const Box& b) {
    const double w = std::min(a.left + a.width, b.left + b.width) - std::max(a.left, b.left);
    const double h = std::min(a.top + a.height, b.top + b.height) - std::max(a.top, b.top);
    if (w <= 0 || h <= 0) {
        return 0;
    }
    return w * h / (a.area() + b.area() - w * h);
}

} // namespace

struct FaceTracker::Detector {
    dlib::frontal_face_detector hog = dlib::get_frontal_face_detector();
    cv::Mat small;
    cv::Mat face;
    cv::Mat thumbnail; // the face's box when it was last confirmed
};

FaceTracker::FaceTracker(std::shared_ptr<const FaceModel> model)
    : m_model(std::move(model)), m_detector(std::make_unique<Detector>()) {}

FaceTracker::~FaceTracker() = default;

std::optional<FaceLandmarks> FaceTracker::track(const cv::Mat& grey) {
    m_lastCallDetected = false;
    if (!m_last) {
        return detect(grey);
    }
    // The predictor finds a face in any box, even an empty one: a box that no
    // longer looks like the face last confirmed there is checked at once.
    if (++m_framesSinceDetection >= kConfirmEvery || !stillLooksLikeFace(grey)) {
        m_framesSinceDetection = 0;
        m_lastCallDetected = true;
        const std::optional<Box> seen = confirm(grey, m_search);
        if (!seen) {
            return detect(grey);
        }
        // Landmarks can settle into a wrong fit that agrees with its own box;
        // the detector's box starts them afresh.
        if (overlap(*seen, m_search) < kReanchorOverlap) {
            m_search = *seen;
        }
        remember(grey);
    }
    FaceLandmarks now = place(grey, m_search);
    for (int pass = 0; pass < kMaxReplacements && follow(placementOf(now)) > kReplaceShare;
         ++pass) {
        now = place(grey, m_search);
    }
    const Placement found = placementOf(now);
    const double scale = found.radius / std::max(m_last->radius, 1e-6);
    const double moved = std::hypot(found.x - m_last->x, found.y - m_last->y);
    if (scale > kMaxScaleStep || scale < 1 / kMaxScaleStep ||
        moved > kMaxMoveShare * m_boxWidth * m_last->radius) {
        return detect(grey);
    }
    m_last = found;
    return now;
}

cv::Mat FaceTracker::thumbnail(const cv::Mat& grey) const {
    const cv::Rect area = cv::Rect(0, 0, grey.cols, grey.rows) &
                          cv::Rect(std::lround(m_search.left), std::lround(m_search.top),
                                   std::lround(m_search.width), std::lround(m_search.height));
    cv::Mat small;
    if (area.width >= kThumbnailSize && area.height >= kThumbnailSize) {
        cv::resize(grey(area), small, cv::Size(kThumbnailSize, kThumbnailSize), 0, 0,
                   cv::INTER_AREA);
    }
    return small;
}

void FaceTracker::remember(const cv::Mat& grey) {
    m_detector->thumbnail = thumbnail(grey);
}

bool FaceTracker::stillLooksLikeFace(const cv::Mat& grey) const {
    const cv::Mat now = thumbnail(grey);
    const cv::Mat& then = m_detector->thumbnail;
    if (now.empty() || then.empty()) {
        return false;
    }
    cv::Mat likeness;
    cv::matchTemplate(now, then, likeness, cv::TM_CCOEFF_NORMED);
    // An even, featureless box gives no likeness at all (NaN).
    return likeness.at<float>(0, 0) >= kMinLikeness;
}

double FaceTracker::follow(const Placement& face) {
    // A still head keeps its box: the landmarks then vary only with the
    // picture, not also with a box that jitters along with them.
    const Box wanted = boxFor(face);
    const double shift =
        std::hypot(wanted.left - m_search.left, wanted.top - m_search.top) / m_search.width;
    const double change = std::max(shift, std::fabs(wanted.width / m_search.width - 1));
    if (change > kBoxSlack) {
        m_search = wanted;
    }
    return change;
}

Box FaceTracker::boxFor(const Placement& face) const {
    const double c = std::cos(face.angle), s = std::sin(face.angle);
    const double centreX = face.x + face.radius * (m_boxAlong * c - m_boxAcross * s);
    const double centreY = face.y + face.radius * (m_boxAlong * s + m_boxAcross * c);
    const double width = m_boxWidth * face.radius, height = m_boxHeight * face.radius;
    return {centreX - width / 2, centreY - height / 2, width, height};
}

FaceLandmarks FaceTracker::place(const cv::Mat& grey, const Box& box) {
    // The predictor answers in whole pixels and reads single pixels; on a
    // copy of the face enlarged to a fixed size its answers are finer and
    // read pixels blended from their neighbours, so camera noise moves them
    // less.
    const double margin = box.width * kPlaceMargin;
    const cv::Rect area =
        cv::Rect(0, 0, grey.cols, grey.rows) &
        cv::Rect(
            cv::Point(std::lround(box.left - margin), std::lround(box.top - margin)),
            cv::Size(std::lround(box.width + 2 * margin), std::lround(box.height + 2 * margin)));
    FaceLandmarks points{};
    if (area.width < 2 || area.height < 2) {
        return points;
    }
    const double zoom = kPlaceWidth / box.width;
    cv::Mat& face = m_detector->face;
    cv::resize(grey(area), face, cv::Size(), zoom, zoom, cv::INTER_LINEAR);
    const double left = (box.left - area.x) * zoom;
    const double top = (box.top - area.y) * zoom;
    const dlib::rectangle r(std::lround(left), std::lround(top),
                            std::lround(left + box.width * zoom),
                            std::lround(top + box.height * zoom));
    const dlib::full_object_detection shape =
        m_model->predictor()(dlib::cv_image<unsigned char>(face), r);
    for (unsigned long i = 0; i < shape.num_parts() && i < points.size(); ++i) {
        points[i] = {area.x + shape.part(i).x() / zoom, area.y + shape.part(i).y() / zoom};
    }
    return points;
}

std::vector<Box> FaceTracker::faces(const cv::Mat& grey, const cv::Rect& area, double shrink) {
    cv::Mat& small = m_detector->small;
    if (shrink < 1) {
        cv::resize(grey(area), small, cv::Size(), shrink, shrink, cv::INTER_AREA);
    } else {
        small = grey(area);
    }
    std::vector<Box> found;
    for (const dlib::rectangle& r : m_detector->hog(dlib::cv_image<unsigned char>(small))) {
        found.push_back({area.x + r.left() / shrink, area.y + r.top() / shrink,
                         double(r.width()) / shrink, double(r.height()) / shrink});
    }
    return found;
}

std::optional<Box> FaceTracker::confirm(const cv::Mat& grey, const Box& tracked) {
    // Around the face, at the scale that makes it comfortably larger than the
    // detector's smallest window: a fraction of a full detection's cost.
    const cv::Rect area =
        cv::Rect(0, 0, grey.cols, grey.rows) &
        cv::Rect(cv::Point(std::lround(tracked.left - tracked.width / 2),
                           std::lround(tracked.top - tracked.height / 2)),
                 cv::Size(std::lround(tracked.width * 2), std::lround(tracked.height * 2)));
    if (area.width < 1 || area.height < 1) {
        return std::nullopt;
    }
    const double shrink = std::min(1.0, kConfirmFaceWidth / std::max(tracked.width, 1.0));
    std::optional<Box> best;
    for (const Box& face : faces(grey, area, shrink)) {
        if (overlap(face, tracked) > 0.3 &&
            (!best || overlap(face, tracked) > overlap(*best, tracked))) {
            best = face;
        }
    }
    return best;
}

std::optional<FaceLandmarks> FaceTracker::detect(const cv::Mat& grey) {
    m_lastCallDetected = true;
    m_framesSinceDetection = 0;
    m_last.reset();
    const cv::Rect frame(0, 0, grey.cols, grey.rows);
    std::vector<Box> found = faces(grey, frame, std::min(1.0, double(kDetectionWidth) / grey.cols));
    // A face too far away for the small copy: look closer now and then, not
    // every frame, as no face in view is the common reason for finding none.
    if (found.empty() && grey.cols > kDetectionWidth &&
        m_missedDetections++ % kCloseLookEvery == 0) {
        found = faces(grey, frame, std::min(1.0, double(kCloseDetectionWidth) / grey.cols));
    }
    if (found.empty()) {
        return std::nullopt;
    }
    m_missedDetections = 0;
    const Box largest = *std::max_element(
        found.begin(), found.end(), [](const Box& a, const Box& b) { return a.area() < b.area(); });
    const FaceLandmarks now = place(grey, largest);
    const Placement face = placementOf(now);
    if (!(face.radius > 1)) {
        return std::nullopt;
    }
    // Learn where this detector puts its box around this face.
    const double dx = largest.left + largest.width / 2 - face.x;
    const double dy = largest.top + largest.height / 2 - face.y;
    const double c = std::cos(face.angle), s = std::sin(face.angle);
    m_boxAlong = (dx * c + dy * s) / face.radius;
    m_boxAcross = (-dx * s + dy * c) / face.radius;
    m_boxWidth = largest.width / face.radius;
    m_boxHeight = largest.height / face.radius;
    m_search = largest;
    m_last = face;
    remember(grey);
    return now;
}

} // namespace backbeacon::camera
