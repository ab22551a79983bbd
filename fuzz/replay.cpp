// Runs a fuzz target once over every input of the folders (or files) given,
// as a test: the seed corpus and the inputs that found faults before.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    int runs = 0;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo where(QFile::decodeName(argv[i]));
        QStringList files;
        if (where.isDir()) {
            const QDir dir(where.filePath());
            for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
                files << dir.filePath(name);
        } else if (where.exists()) {
            files << where.filePath();
        } // a target without regression inputs has no such folder
        for (const QString& name : files) {
            QFile file(name);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(name));
                return 1;
            }
            const QByteArray bytes = file.readAll();
            std::fprintf(stderr, "%s\n", qPrintable(name));
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                   size_t(bytes.size()));
            ++runs;
        }
    }
    std::fprintf(stderr, "%d inputs\n", runs);
    return runs > 0 ? 0 : 1; // an empty corpus tests nothing
}
