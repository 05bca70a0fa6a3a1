// Runs a fuzz target over its seed corpus without libFuzzer, as an ordinary
// test: every file in the given directories is one input. A failed check
// aborts; the file being replayed is named first so that the log says which.

#include "fuzz_support.h"

#include <QDir>
#include <QFile>

#include <cstdio>

// Optional in a target, as with libFuzzer.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

// -1 when the file cannot be read.
int replay(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s: %s\n", qUtf8Printable(path),
                     qUtf8Printable(file.errorString()));
        return -1;
    }
    const QByteArray input = file.readAll();
    std::fprintf(stderr, "replaying %s (%lld bytes)\n", qUtf8Printable(path),
                 static_cast<long long>(input.size()));
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.constData()),
                           static_cast<std::size_t>(input.size()));
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS-DIRECTORY...\n", argv[0]);
        return 2;
    }
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const QDir directory(QString::fromLocal8Bit(argv[i]));
        const QStringList names = directory.entryList(QDir::Files, QDir::Name);
        for (const QString& name : names) {
            if (replay(directory.filePath(name)) != 0)
                return 1;
            ++replayed;
        }
    }
    // An empty or missing corpus would pass without testing anything.
    if (replayed == 0) {
        std::fprintf(stderr, "no corpus files found\n");
        return 1;
    }
    std::fprintf(stderr, "%d corpus files replayed, no finding\n", replayed);
    return 0;
}
