#include "web/MZWebUtility.h"

#include <QFile>

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <memory>

namespace {

constexpr qint64 ReadSize = 4096;

const EVP_MD *digestFor(MZHashKind kind) {
    switch (kind) {
    case MZHashKindMD5:
        return EVP_md5();
    case MZHashKindSHA1:
        return EVP_sha1();
    case MZHashKindSHA256:
        return EVP_sha256();
    case MZHashKindSHA512:
        return EVP_sha512();
    default:
        return nullptr;
    }
}

QString hexText(const unsigned char *bytes, unsigned int length) {
    return QString::fromLatin1(
        QByteArray::fromRawData(reinterpret_cast<const char *>(bytes), length).toHex());
}

// The string's UTF-8 bytes; null only for a null string, so "" still has a digest.
QByteArray utf8Bytes(const QString &string) {
    if (string.isNull()) return {};
    QByteArray bytes = string.toUtf8();
    return bytes.isNull() ? QByteArray("") : bytes;
}

struct ContextFree {
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};

// Feeds the file to the context one read at a time; false on a read error.
bool digestStream(QFile &file, EVP_MD_CTX *context) {
    char buffer[ReadSize];
    for (;;) {
        const qint64 count = file.read(buffer, ReadSize);
        if (count < 0) return false;
        if (count == 0) return true;
        if (EVP_DigestUpdate(context, buffer, size_t(count)) != 1) return false;
    }
}

}  // namespace

QString MZWebUtility::hashFile(const QString &path, MZHashKind kind) {
    const EVP_MD *md = digestFor(kind);
    if (md == nullptr) return {};
    // Buffered: QFile reads the disk in larger blocks than ours, saving system calls.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!context || EVP_DigestInit_ex(context.get(), md, nullptr) != 1 ||
        !digestStream(file, context.get()) ||
        EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        return {};
    }
    return hexText(digest, length);
}

QString MZWebUtility::hashData(const QByteArray &data, MZHashKind kind) {
    const EVP_MD *md = digestFor(kind);
    if (data.isNull() || md == nullptr) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data.constData(), size_t(data.size()), digest, &length, md, nullptr) != 1) {
        return {};
    }
    return hexText(digest, length);
}

QString MZWebUtility::hashString(const QString &string, MZHashKind kind) {
    return hashData(utf8Bytes(string), kind);
}

QString MZWebUtility::hMacData(const QByteArray &data, const QString &secretKey, MZHashKind kind) {
    const EVP_MD *md = digestFor(kind);
    if (data.isNull() || secretKey.isNull() || md == nullptr) return {};
    QByteArray key = secretKey.toUtf8();
    const qsizetype nul = key.indexOf('\0');
    if (nul >= 0) key.truncate(nul);
    // HMAC() wants a key pointer even for a key of length 0.
    static const unsigned char noKey = 0;
    const void *keyBytes = key.isEmpty() ? &noKey : static_cast<const void *>(key.constData());
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (HMAC(md, keyBytes, int(key.size()),
             reinterpret_cast<const unsigned char *>(data.constData()), size_t(data.size()), mac,
             &length) == nullptr) {
        return {};
    }
    return hexText(mac, length);
}

QString MZWebUtility::hMacString(const QString &string, const QString &secretKey, MZHashKind kind) {
    return hMacData(utf8Bytes(string), secretKey, kind);
}
