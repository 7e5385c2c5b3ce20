#pragma once

#include <QString>
#include <QStringList>

// What others did to the files of one directory since the last look, as the system reports it
// (inotify on Linux): a file deleted, moved away, moved over another, opened for writing and
// closed again, or given other permissions. Only directories on a local file system are watched, because only there does the
// system see every change; elsewhere, and where the system has no such watch, isWatching() is false.
// A look costs one system call and never waits.
//
// While it watches, it holds the directory open, so that its files can be opened relative to it
// without a walk of the whole path. A parent directory renamed, or another drive mounted over the
// path, is not reported by the watch: standsAt() tells whether the path still names the directory
// watched.
class DirectoryWatch {
public:
    explicit DirectoryWatch(const QString &directory);
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch &) = delete;
    DirectoryWatch &operator=(const DirectoryWatch &) = delete;

    bool isWatching() const;
    // The directory watched, opened (-1 while it does not watch).
    int directoryDescriptor() const { return m_directoryFd; }
    // Whether the path names the directory watched (false while it does not watch).
    bool standsAt(const QString &directory) const;

    struct Changes {
        QStringList names;       // files changed, deleted or moved, by name within the directory
        bool everything = false; // changes were missed, or the directory itself went away
    };
    // The changes reported since the last look. After a change to everything the watch has
    // ended when the directory went away (isWatching() false then).
    Changes take();

private:
    void end();

    int m_fd = -1;
    int m_directoryFd = -1;
};
