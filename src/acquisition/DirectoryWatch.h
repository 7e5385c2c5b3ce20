#pragma once

#include <QString>
#include <QStringList>

// What others did to the files of one directory since the last look, as the system reports it
// (inotify on Linux): a file deleted, moved away, moved over another, opened for writing and
// closed again, or given other permissions. Only directories on a local file system are watched, because only there does the
// system see every change; elsewhere, and where the system has no such watch, isWatching() is false.
// A look costs one system call and never waits.
class DirectoryWatch {
public:
    explicit DirectoryWatch(const QString &directory);
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch &) = delete;
    DirectoryWatch &operator=(const DirectoryWatch &) = delete;

    bool isWatching() const;

    struct Changes {
        QStringList names;       // files changed, deleted or moved, by name within the directory
        bool everything = false; // changes were missed, or the directory itself went away
    };
    // The changes reported since the last look. After a change to everything the watch has
    // ended when the directory went away (isWatching() false then).
    Changes take();

private:
    int m_fd = -1;
};
