#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>
#include <optional>

namespace backbeacon {

// The picture attached to every posture alert: the application icon as a
// 128 x 128 PNG in the private scratch folder. Rendered once per process;
// a file already there (from this run or an earlier one) is attached unchanged.
class NotificationIcon {
public:
    using ImageProvider = std::function<QImage()>;

    static constexpr int kSize = 128;
    static constexpr const char* kFileName = "BackbeaconNotificationIcon.png";

    // `folder` empty: the private scratch folder, looked up at the first alert.
    explicit NotificationIcon(ImageProvider appIcon = {}, QString folder = {});

    void setAppIcon(ImageProvider appIcon) {
        m_appIcon = std::move(appIcon);
        m_png.clear();
    }
    void setFolder(QString folder) { m_folder = std::move(folder); }

    // The icon file to attach, written first if it is not there; empty when
    // there is none to be had (no icon, nothing rendered, nothing written).
    QString attachmentPath();

    // `image` drawn over the whole of a transparent `size` x `size` square, as
    // PNG bytes; empty if it cannot be drawn or encoded.
    static QByteArray pngData(const QImage& image, int size);

private:
    ImageProvider m_appIcon;
    std::optional<QString> m_folder;
    QByteArray m_png; // kept after the first rendering, for rewriting a lost file
};

} // namespace backbeacon
