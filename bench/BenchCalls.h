#pragma once

// File-system calls of a benchmark's cycles, counted from the outside by strace: the benchmark
// runs itself again under `strace -f -y` and marks the stretch to count with two calls on paths
// of its own (markBegin, markEnd). Each call on a path (or on a descriptor that strace names by
// its path) is put to one of three kinds of file: the sensors' data files (with the watch on
// their directories), the database and its journals, the settings files.

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <unistd.h>

namespace bench {

inline const char *const CountedBegin = "/nonexistent/tallyport-bench-count-begin";
inline const char *const CountedEnd = "/nonexistent/tallyport-bench-count-end";

inline void markBegin()
{
    ::access(CountedBegin, F_OK);
}
inline void markEnd()
{
    ::access(CountedEnd, F_OK);
}

// Calls by kind of file, and within a kind by system call.
struct CallCounts {
    QMap<QString, QMap<QString, qint64>> byKind;
    QString error; // why nothing was counted

    qint64 total(const QString &kind) const
    {
        qint64 n = 0;
        for (qint64 calls : byKind.value(kind))
            n += calls;
        return n;
    }
};

inline const QStringList &countedKinds()
{
    static const QStringList kinds{QStringLiteral("data files"), QStringLiteral("database"),
                                   QStringLiteral("settings")};
    return kinds;
}

// The kind of file a path is, or empty for another.
inline QString kindOfPath(const QString &path)
{
    if ((path.contains(QLatin1String("/Sensor-")) && path.contains(QLatin1String(".dat"))) ||
        path == QLatin1String("anon_inode:inotify"))
        return countedKinds()[0];
    if (path.contains(QLatin1String("wexa.mdb")))
        return countedKinds()[1];
    if (path.contains(QLatin1String("TallyportConfig.dat")) || path.contains(QLatin1String("Tallyport.ini")))
        return countedKinds()[2];
    return QString();
}

// Counts the calls of one strace log between the two marks.
inline CallCounts countLog(const QString &logPath)
{
    CallCounts counts;
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly)) {
        counts.error = QStringLiteral("no strace log");
        return counts;
    }
    // "1234  openat(AT_FDCWD</cwd>, "/dir/Sensor-1.dat", ...) = 7</dir/Sensor-1.dat>"
    // "1234  openat(5</dir>, "Sensor-1.dat", ...) = 7</dir/Sensor-1.dat>"
    static const QRegularExpression call(QStringLiteral("^\\d+\\s+(\\w+)\\((.*)$"));
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]*)\""));
    static const QRegularExpression named(QStringLiteral("<([^>]*)>"));
    static const QStringList pathCalls{"openat",
                                       "open",
                                       "statx",
                                       "newfstatat",
                                       "stat",
                                       "lstat",
                                       "access",
                                       "faccessat2",
                                       "unlink",
                                       "unlinkat",
                                       "rename",
                                       "renameat2",
                                       "inotify_add_watch",
                                       "truncate"};
    bool counting = false;
    while (!log.atEnd()) {
        const QString line = QString::fromLocal8Bit(log.readLine());
        if (line.contains(QLatin1String(CountedBegin))) {
            counting = true;
            continue;
        }
        if (line.contains(QLatin1String(CountedEnd)))
            break;
        const QRegularExpressionMatch m = call.match(line);
        if (!counting || !m.hasMatch())
            continue;
        const QString name = m.captured(1);
        const QString rest = m.captured(2);
        QString path;
        if (pathCalls.contains(name))
            path = quoted.match(rest).captured(1);
        // A name relative to a directory descriptor: "openat(5</dir>, "Sensor-1.dat", ...)".
        const QString directory = named.match(rest).captured(1);
        if (!path.isEmpty() && !path.startsWith(QLatin1Char('/')) && directory.startsWith(QLatin1Char('/')))
            path = directory + QLatin1Char('/') + path;
        if (path.isEmpty())
            path = directory;
        const QString kind = kindOfPath(path);
        if (!kind.isEmpty())
            ++counts.byKind[kind][name];
    }
    if (!counting)
        counts.error = QStringLiteral("the counted stretch was not reached");
    return counts;
}

// Runs this program again with arguments under strace and counts the calls of its marked
// stretch. Waits as long as the run takes.
inline CallCounts countCalls(const QStringList &arguments, const QString &logPath)
{
    CallCounts counts;
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty()) {
        counts.error = QStringLiteral("strace is not installed");
        return counts;
    }
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.setStandardOutputFile(QProcess::nullDevice());
    const QStringList options{QStringLiteral("-f"),
                              QStringLiteral("-y"),
                              QStringLiteral("-qq"),
                              QStringLiteral("--seccomp-bpf"),
                              QStringLiteral("-o"),
                              logPath,
                              QStringLiteral("-e"),
                              QStringLiteral("trace=openat,close,read,write,pread64,pwrite64,lseek,statx,"
                                             "newfstatat,fstat,fcntl,ftruncate,fsync,fdatasync,access,"
                                             "faccessat2,unlink,rename,renameat2,getdents64,"
                                             "inotify_add_watch,flock"),
                              QStringLiteral("--"),
                              QCoreApplication::applicationFilePath()};
    run.start(strace, options + arguments);
    if (!run.waitForStarted(10000) || !run.waitForFinished(-1) || run.exitCode() != 0) {
        counts.error = QStringLiteral("the counting run failed (exit %1)").arg(run.exitCode());
        return counts;
    }
    counts = countLog(logPath);
    QFile::remove(logPath);
    return counts;
}

} // namespace bench
