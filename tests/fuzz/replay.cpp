// Stands in for libFuzzer's driver in the test suite: feeds the target each
// file named on the command line, and each file of each folder named (its
// seed corpus; a finding, once mended, goes there too), once and in order. A
// broken rule aborts; a run that fed nothing fails.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    int fed = 0;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo given(QString::fromLocal8Bit(argv[i]));
        QStringList files{given.filePath()};
        if (given.isDir()) {
            files.clear();
            for (const QFileInfo& file :
                 QDir(given.filePath()).entryInfoList(QDir::Files, QDir::Name))
                files << file.filePath();
        }
        for (const QString& name : files) {
            QFile file(name);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(name));
                return 1;
            }
            const QByteArray input = file.readAll();
            std::printf("%s\n", qPrintable(name));
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.constData()),
                                   std::size_t(input.size()));
            ++fed;
        }
    }
    std::printf("%d inputs\n", fed);
    return fed > 0 ? 0 : 1;
}
