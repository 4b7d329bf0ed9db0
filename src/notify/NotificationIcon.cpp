#include "NotificationIcon.h"

#include "model/AppFolders.h"
#include "model/AtomicFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPainter>

Q_LOGGING_CATEGORY(lcNotifyIcon, "backbeacon.notify")

namespace backbeacon {

NotificationIcon::NotificationIcon(ImageProvider appIcon, QString folder)
    : m_appIcon(std::move(appIcon)) {
    if (!folder.isEmpty()) {
        m_folder = std::move(folder);
    }
}

QString NotificationIcon::attachmentPath() {
    if (!m_folder) {
        m_folder = privateScratchFolder();
    }
    // Without a folder the path would be "/BackbeaconNotificationIcon.png": never write there.
    if (m_folder->isEmpty()) {
        return {};
    }
    const QString path = *m_folder + QLatin1Char('/') + QLatin1String(kFileName);
    if (QFileInfo(path).isFile()) {
        return path;
    }
    if (m_png.isEmpty() && m_appIcon) {
        m_png = pngData(m_appIcon(), kSize);
    }
    if (m_png.isEmpty()) {
        return {};
    }
    const int error = AtomicFile::replace(path, std::string_view(m_png.constData(), m_png.size()));
    if (error != 0) {
        qCDebug(lcNotifyIcon) << "writing" << path << "failed:" << qt_error_string(error);
        return {};
    }
    return path;
}

QByteArray NotificationIcon::pngData(const QImage& image, int size) {
    if (image.isNull() || size <= 0) {
        return {};
    }
    QImage canvas(size, size, QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull()) {
        return {};
    }
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.drawImage(QRect(0, 0, size, size), image);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !canvas.save(&buffer, "PNG")) {
        return {};
    }
    return bytes;
}

} // namespace backbeacon
