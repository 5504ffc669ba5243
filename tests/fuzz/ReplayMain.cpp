// Runs a fuzz target once over each input file named, or each file of each folder
// named: the corpus and the crash inputs kept there stay a plain test.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    QStringList inputs;
    for (int i = 1; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        if (QFileInfo(path).isDir()) {
            for (const QString& name : QDir(path).entryList(QDir::Files, QDir::Name))
                inputs.append(QDir(path).filePath(name));
        } else {
            inputs.append(path);
        }
    }
    if (inputs.isEmpty()) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER|INPUT...: no input found\n", argv[0]);
        return 1;
    }
    for (const QString& input : inputs) {
        QFile file(input);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(input));
            return 1;
        }
        const QByteArray bytes = file.readAll();
        std::fprintf(stderr, "%s\n", qPrintable(input));
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
    }
    std::fprintf(stderr, "%lld inputs ran\n", static_cast<long long>(inputs.size()));
    return 0;
}
