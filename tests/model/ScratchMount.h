#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace backbeacon::testing {

// A tiny tmpfs for filling a disk or turning a folder read-only for real. The
// test process moves once into a private mount namespace, so nobody else sees
// the mounts. Needs root; reason() says why it cannot be had.
class ScratchMount {
public:
    // Mounts a tmpfs of `kib` KiB on the existing empty folder `path`.
    ScratchMount(const QString& path, int kib) : m_path(QFile::encodeName(path)) {
        if (const auto failure = privateNamespace()) {
            m_reason = *failure;
            return;
        }
        const std::string options = "size=" + std::to_string(kib) + "k,mode=0755";
        if (::mount("tmpfs", m_path.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) !=
            0) {
            m_reason = std::string("mount: ") + std::strerror(errno);
            return;
        }
        m_mounted = true;
    }
    ~ScratchMount() {
        if (m_mounted) {
            ::umount2(m_path.constData(), MNT_DETACH);
        }
    }
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    bool mounted() const { return m_mounted; }
    const std::string& reason() const { return m_reason; }

    // Fills the disk with one file, then gives back `leaveBytes` of it.
    bool fill(long leaveBytes) {
        const QByteArray filler = m_path + "/filler";
        const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) {
            return false;
        }
        static const char block[4096] = {};
        long total = 0;
        ssize_t n = 0;
        while ((n = ::write(fd, block, sizeof block)) > 0) {
            total += n;
        }
        const bool full = errno == ENOSPC && ::ftruncate(fd, total - leaveBytes) == 0;
        ::close(fd);
        return full;
    }
    void release() { ::unlink((m_path + "/filler").constData()); }

    bool makeReadOnly() {
        return ::mount(nullptr, m_path.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    static std::optional<std::string> privateNamespace() {
        static const std::optional<std::string> failure = []() -> std::optional<std::string> {
            if (::geteuid() != 0) {
                return "needs root to mount a scratch file system";
            }
            if (::unshare(CLONE_NEWNS) != 0) {
                return std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
            }
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
                return std::string("making mounts private: ") + std::strerror(errno);
            }
            return std::nullopt;
        }();
        return failure;
    }

    QByteArray m_path;
    bool m_mounted = false;
    std::string m_reason;
};

} // namespace backbeacon::testing
