// Runs a fuzz target once over every stored input (files, or every file of the directories
// given), for builds without libFuzzer. A crash or a broken property aborts with the input named
// on the line before; no input found at all is a failure too.
#include "FuzzHarness.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
QStringList inputFiles(const QString &argument)
{
    if (QFileInfo(argument).isFile())
        return {argument};
    QStringList files;
    QDirIterator it(argument, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    std::sort(files.begin(), files.end());
    return files;
}
} // namespace

int main(int argc, char **argv)
{
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const QString &path : inputFiles(QString::fromLocal8Bit(argv[i]))) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "Cannot read %s\n", qPrintable(path));
                return 1;
            }
            const QByteArray bytes = file.readAll();
            std::fprintf(stderr, "Input %s (%lld bytes)\n", qPrintable(path), qlonglong(bytes.size()));
            // A copy of exactly the input's size, so an overread is seen as in the fuzzer.
            std::vector<uint8_t> input(bytes.begin(), bytes.end());
            LLVMFuzzerTestOneInput(input.data(), input.size());
            ++replayed;
        }
    }
    std::printf("Replayed %d inputs\n", replayed);
    return replayed > 0 ? 0 : 1;
}
