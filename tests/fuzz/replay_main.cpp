// Runs a fuzz target over saved inputs, without libFuzzer: the seed corpus and every
// input that once broke something run in the ordinary suite, with any compiler.
//
// Arguments are files or folders; the first must hold at least one input.

#include "fuzzcheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char *argv[])
{
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const QString path = QFile::decodeName(argv[i]);
        QStringList files;
        if (QFileInfo(path).isDir()) {
            for (const QFileInfo &f : QDir(path).entryInfoList(QDir::Files, QDir::Name))
                files << f.filePath();
        } else if (QFileInfo::exists(path)) {
            files << path;
        }
        if (i == 1 && files.isEmpty()) {
            std::fprintf(stderr, "no inputs in %s\n", argv[i]);
            return 1;
        }
        for (const QString &file : files) {
            QFile f(file);
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(file));
                return 1;
            }
            const QByteArray bytes = f.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                   std::size_t(bytes.size()));
            ++inputs;
        }
    }
    std::printf("%d inputs, no broken promise\n", inputs);
    return 0;
}
