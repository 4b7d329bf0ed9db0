#pragma once

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace backbeacon::testing {

// A tiny tmpfs on an empty folder, to fill a disk or make it read-only for real.
// Needs root: the test process first moves into a private mount namespace, so
// nobody else sees the mount. reason() says why none could be had.
class ScratchMount {
public:
    ScratchMount(const QString& folder, int kib) : m_path(QFile::encodeName(folder)) {
        static const std::string namespaceFailure = [] {
            if (::geteuid() != 0) {
                return std::string("needs root to mount a scratch file system");
            }
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
                return std::string("no private mount namespace: ") + std::strerror(errno);
            }
            return std::string();
        }();
        const std::string options = "size=" + std::to_string(kib) + "k";
        m_reason = namespaceFailure;
        if (m_reason.empty() && ::mount("tmpfs", m_path.constData(), "tmpfs", 0, options.c_str())) {
            m_reason = std::string("mount: ") + std::strerror(errno);
        }
    }
    ~ScratchMount() {
        if (mounted()) {
            ::umount2(m_path.constData(), MNT_DETACH);
        }
    }

    bool mounted() const { return m_reason.empty(); }
    const std::string& reason() const { return m_reason; }

    // Fills the disk with one file, then gives `leaveBytes` of it back.
    bool fill(long leaveBytes) {
        const int fd = ::open((m_path + "/filler").constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        static const char block[4096] = {};
        long total = 0;
        for (ssize_t n = 0; (n = ::write(fd, block, sizeof block)) > 0;) {
            total += n;
        }
        const bool full = fd >= 0 && errno == ENOSPC && ::ftruncate(fd, total - leaveBytes) == 0;
        ::close(fd);
        return full;
    }
    void release() { ::unlink((m_path + "/filler").constData()); }
    bool makeReadOnly() {
        return ::mount(nullptr, m_path.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    QByteArray m_path;
    std::string m_reason;
};

} // namespace backbeacon::testing
