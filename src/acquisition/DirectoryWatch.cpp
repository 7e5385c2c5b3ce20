#include "DirectoryWatch.h"

#include <QFile>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace {
// File systems whose changes all pass through this machine's kernel. On network file systems a
// file replaced from another machine would go unnoticed, so there files are never kept open.
bool isLocalFileSystem(const QByteArray &directory)
{
    struct statfs info = {};
    if (::statfs(directory.constData(), &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53UL:     // ext2, ext3, ext4
    case 0x58465342UL: // xfs
    case 0x9123683EUL: // btrfs
    case 0x01021994UL: // tmpfs
    case 0xF2F52010UL: // f2fs
    case 0x2FC12FC1UL: // zfs
    case 0x794C7630UL: // overlayfs (containers)
        return true;
    default:
        return false;
    }
}

// A change of permissions (IN_ATTRIB) counts too: a file made read-only must refuse the next
// write as it would when opened by its path.
constexpr uint32_t kWatched = IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                              IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// Events after which the watch no longer stands for the directory at its path.
constexpr uint32_t kWatchEnded = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

// Whether the directory open as fd is the one the path names.
bool sameDirectory(int fd, const QByteArray &path)
{
    struct stat open = {};
    struct stat named = {};
    return ::fstat(fd, &open) == 0 && ::stat(path.constData(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}
} // namespace

DirectoryWatch::DirectoryWatch(const QString &directory)
{
    const QByteArray path = QFile::encodeName(directory);
    if (!isLocalFileSystem(path))
        return;
    m_directoryFd = ::open(path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // The watch is set by path: it must be on the directory held open (not one that replaced it
    // in between).
    if (m_directoryFd < 0 || m_fd < 0 || ::inotify_add_watch(m_fd, path.constData(), kWatched) < 0 ||
        !sameDirectory(m_directoryFd, path))
        end();
}

DirectoryWatch::~DirectoryWatch()
{
    end();
}

void DirectoryWatch::end()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_directoryFd >= 0)
        ::close(m_directoryFd);
    m_fd = -1;
    m_directoryFd = -1;
}

bool DirectoryWatch::standsAt(const QString &directory) const
{
    return m_directoryFd >= 0 && sameDirectory(m_directoryFd, QFile::encodeName(directory));
}

bool DirectoryWatch::isWatching() const
{
    return m_fd >= 0;
}

DirectoryWatch::Changes DirectoryWatch::take()
{
    Changes changes;
    if (m_fd < 0) {
        changes.everything = true;
        return changes;
    }
    alignas(inotify_event) std::array<char, 16384> buffer;
    bool ended = false;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // EAGAIN: nothing more. Anything else: the watch cannot be trusted any longer.
            if (got == 0 || errno != EAGAIN)
                ended = true;
            break;
        }
        for (ssize_t at = 0; at < got;) {
            inotify_event event;
            std::memcpy(&event, buffer.data() + at, sizeof event);
            if (event.mask & IN_Q_OVERFLOW)
                changes.everything = true;
            if (event.mask & kWatchEnded)
                ended = true;
            if (event.len > 0)
                changes.names.append(QFile::decodeName(buffer.data() + at + sizeof event));
            else
                changes.everything = true; // the directory itself changed
            at += ssize_t(sizeof event + event.len);
        }
    }
    if (ended) {
        changes.everything = true;
        end();
    }
    return changes;
}

#else // No watch: files are opened by path for every write.

DirectoryWatch::DirectoryWatch(const QString &) {}
DirectoryWatch::~DirectoryWatch() = default;
void DirectoryWatch::end() {}
bool DirectoryWatch::isWatching() const
{
    return false;
}
bool DirectoryWatch::standsAt(const QString &) const
{
    return false;
}
DirectoryWatch::Changes DirectoryWatch::take()
{
    return {{}, true};
}

#endif
