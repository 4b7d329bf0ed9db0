#pragma once

#include <QImage>
#include <QObject>
#include <QRect>

namespace backbeacon {

// The app's presence in the desktop's tray: an image, a tool tip, a click and
// a small menu. QtStatusItem in the app, a recording fake in tests.
class StatusItem : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void setImage(const QImage& image) = 0;
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
