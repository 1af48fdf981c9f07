#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Selects the digest of MZWebUtility. Values outside 0 to 3 are rejected.
using MZHashKind = qint64;
inline constexpr MZHashKind MZHashKindMD5 = 0;
inline constexpr MZHashKind MZHashKindSHA1 = 1;
inline constexpr MZHashKind MZHashKindSHA256 = 2;
inline constexpr MZHashKind MZHashKindSHA512 = 3;

// Digests and HMACs as lower-case hexadecimal text (32, 40, 64 or 128 characters). Every
// function returns a null string for a null argument, an unknown kind, or a file that cannot
// be read; an empty (non-null) argument gives the digest of the empty message. Stateless and
// safe to call from any thread.
class MZWebUtility {
public:
    MZWebUtility() = delete;

    // Streams the file in reads of at most 4096 bytes, so memory stays constant.
    static QString hashFile(const QString &path, MZHashKind kind);
    static QString hashData(const QByteArray &data, MZHashKind kind);
    // The digest of the string's UTF-8 bytes.
    static QString hashString(const QString &string, MZHashKind kind);
    // HMAC under the key's UTF-8 bytes up to its first NUL; an empty key is a key of length 0.
    static QString hMacData(const QByteArray &data, const QString &secretKey, MZHashKind kind);
    static QString hMacString(const QString &string, const QString &secretKey, MZHashKind kind);
};
