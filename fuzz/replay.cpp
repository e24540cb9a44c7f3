// The plain-program front of a fuzz target: feeds every file named on the
// command line, and every file under every folder named there (in name order),
// to the target once. Exits 0 when all inputs ran to the end; a sanitizer
// report aborts. Used by test.sh to keep the corpus and the regressions clean.
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cstdio>

#include "fuzzinput.h"

namespace {

bool replayFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                           std::size_t(bytes.size()));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
        return 2;
    }
    int inputs = 0;
    bool allRead = true;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        if (!QFileInfo(arg).isDir()) {
            allRead = replayFile(arg) && allRead;
            ++inputs;
            continue;
        }
        QStringList files;
        QDirIterator it(arg, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        std::sort(files.begin(), files.end());
        for (const QString &f : files) {
            allRead = replayFile(f) && allRead;
            ++inputs;
        }
    }
    std::printf("%s: %d inputs replayed\n", argv[0], inputs);
    return allRead ? 0 : 1;
}
