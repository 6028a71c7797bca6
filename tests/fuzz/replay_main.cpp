// Runs a fuzz target over saved inputs without libFuzzer, so the seed corpus and every
// input that once broke something run in the ordinary suite, with any compiler.
//
//   replay_NAME CORPUS REGRESSIONS   both folders must exist; the corpus must hold inputs

#include "fuzzcheck.h"

#include <QDir>

int main(int argc, char *argv[])
{
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const QDir folder(QFile::decodeName(argv[i]));
        const QFileInfoList files = folder.entryInfoList(QDir::Files, QDir::Name);
        if (!folder.exists() || (i == 1 && files.isEmpty())) {
            std::fprintf(stderr, "no inputs in %s\n", argv[i]);
            return 1;
        }
        for (const QFileInfo &file : files) {
            QFile f(file.filePath());
            const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                   std::size_t(bytes.size()));
            ++inputs;
        }
    }
    std::printf("%d inputs, no broken promise\n", inputs);
    return 0;
}
