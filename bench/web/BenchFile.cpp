#include "BenchFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

std::map<qint64, std::unique_ptr<BenchFile>> &sharedFiles() {
    static std::map<qint64, std::unique_ptr<BenchFile>> files;
    return files;
}

// xorshift64: random enough that nothing along the way can compress or deduplicate it.
void fill(std::vector<uint64_t> &block, uint64_t &state) {
    for (uint64_t &word : block) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        word = state;
    }
}

}  // namespace

BenchFile::BenchFile(qint64 mebibytes)
    : m_dir(QDir::temp().filePath(QStringLiteral("velmora-bench-XXXXXX"))),
      m_path(m_dir.filePath(QStringLiteral("payload-%1MiB.bin").arg(mebibytes))),
      m_size(mebibytes << 20) {
    QFile file(m_path);
    if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly)) {
        throw std::runtime_error("cannot create the benchmark file");
    }
    std::vector<uint64_t> block((1 << 20) / sizeof(uint64_t));
    uint64_t state = 0x9e3779b97f4a7c15ULL;
    for (qint64 written = 0; written < m_size; written += 1 << 20) {
        fill(block, state);
        if (file.write(reinterpret_cast<const char *>(block.data()), 1 << 20) != 1 << 20) {
            throw std::runtime_error("cannot write the benchmark file");
        }
    }
}

const BenchFile &BenchFile::shared(qint64 mebibytes) {
    auto &slot = sharedFiles()[mebibytes];
    if (!slot) slot = std::make_unique<BenchFile>(mebibytes);
    return *slot;
}

void BenchFile::removeShared() { sharedFiles().clear(); }

QString BenchFile::fileName() const { return QFileInfo(m_path).fileName(); }
