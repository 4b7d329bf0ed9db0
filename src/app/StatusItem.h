#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QRect>

namespace backbeacon {

// The app's presence in the desktop's tray: an image, a tool tip, a click and
// a small menu. QtStatusItem (XEmbed) and StatusNotifierStatusItem in the app,
// a recording fake in tests.
class StatusItem : public QObject {
    Q_OBJECT

public:
    // What the image stands for, for hosts that show more than the image:
    // idle shows the installed themed icon, alert asks for the user's eye.
    enum class Mood { idle, live, alert };

    using QObject::QObject;

    // One image of the logical tray size, drawn at devicePixelRatio().
    virtual void setImage(const QImage& image) = 0;
    // Square pixel sizes the host picks from; empty when it takes one image.
    virtual QList<int> imageSizes() const { return {}; }
    // One image per imageSizes() entry, in that order, beside setImage().
    virtual void setImages(const QList<QImage>& images) { Q_UNUSED(images); }
    virtual void setMood(Mood mood) { Q_UNUSED(mood); }
    virtual void setToolTip(const QString& text) = 0;
    // Whether a tray host shows the item right now.
    virtual bool isShown() const = 0;
    // Where the item is on screen; empty when the host does not say.
    virtual QRect geometry() const = 0;
    virtual qreal devicePixelRatio() const = 0;

signals:
    void clicked();
    void openRequested();
    void settingsRequested();
    void quitRequested();
    // A tray host appeared or went away.
    void shownChanged(bool shown);
};

} // namespace backbeacon
