#include "web/MZWebUtility.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct DigestVector {
    MZHashKind kind;
    QByteArray message;
    const char *digest;
};

// RFC 1321 appendix A.5 and the FIPS 180 examples (one block, two blocks, a million "a"),
// with the digests of the empty message.
const QByteArray alphabet448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const QByteArray alphabet896 =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopq"
    "rsmnopqrstnopqrstu";
const QByteArray millionA(1000000, 'a');

const DigestVector digestVectors[] = {
    {MZHashKindMD5, "", "d41d8cd98f00b204e9800998ecf8427e"},
    {MZHashKindMD5, "a", "0cc175b9c0f1b6a831c399e269772661"},
    {MZHashKindMD5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {MZHashKindMD5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {MZHashKindMD5, "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {MZHashKindMD5, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {MZHashKindMD5,
     "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
    {MZHashKindSHA1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {MZHashKindSHA1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {MZHashKindSHA1, alphabet448, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {MZHashKindSHA1, millionA, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    {MZHashKindSHA256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {MZHashKindSHA256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {MZHashKindSHA256, alphabet448,
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {MZHashKindSHA256, millionA,
     "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    {MZHashKindSHA512, "",
     "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
     "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e"},
    {MZHashKindSHA512, "abc",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
     "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
    {MZHashKindSHA512, alphabet896,
     "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
     "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909"},
    {MZHashKindSHA512, millionA,
     "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973eb"
     "de0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b"},
};

QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes) {
    const QString path = dir.filePath(QStringLiteral("message"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    return path;
}

TEST(MZWebUtility, DigestsMatchPublishedVectors) {
    QTemporaryDir dir;
    for (const DigestVector &v : digestVectors) {
        const QString expected = QString::fromLatin1(v.digest);
        const QString label = QStringLiteral("kind %1, %2 bytes").arg(v.kind).arg(v.message.size());
        EXPECT_EQ(MZWebUtility::hashData(v.message, v.kind), expected) << label.toStdString();
        EXPECT_EQ(MZWebUtility::hashString(QString::fromLatin1(v.message), v.kind), expected)
            << label.toStdString();
        EXPECT_EQ(MZWebUtility::hashFile(writeFile(dir, v.message), v.kind), expected)
            << label.toStdString();
    }
}

struct HmacVector {
    MZHashKind kind;
    QString key;
    QByteArray data;
    const char *mac;
};

// RFC 2202 and RFC 4231 test cases 1, 2 and 4 (the ones whose keys are text), and the
// empty-key, empty-message values.
const QString key0b(20, QChar(0x0b));
const QString key0b16(16, QChar(0x0b));
const QString key0119 = [] {
    QString key;
    for (char16_t c = 1; c <= 0x19; ++c) key += QChar(c);
    return key;
}();
const QByteArray hiThere = "Hi There";
const QByteArray whatDoYaWant = "what do ya want for nothing?";
const QByteArray cd50(50, char(0xcd));

const HmacVector hmacVectors[] = {
    {MZHashKindMD5, key0b16, hiThere, "9294727a3638bb1c13f48ef8158bfc9d"},
    {MZHashKindMD5, QStringLiteral("Jefe"), whatDoYaWant, "750c783e6ab0b503eaa86e310a5db738"},
    {MZHashKindMD5, key0119, cd50, "697eaf0aca3a3aea3a75164746ffaa79"},
    {MZHashKindMD5, QStringLiteral(""), "", "74e6f7298a9c2d168935f58c001bad88"},
    {MZHashKindSHA1, key0b, hiThere, "b617318655057264e28bc0b6fb378c8ef146be00"},
    {MZHashKindSHA1, QStringLiteral("Jefe"), whatDoYaWant,
     "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
    {MZHashKindSHA1, key0119, cd50, "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
    {MZHashKindSHA1, QStringLiteral(""), "", "fbdb1d1b18aa6c08324b7d64b71fb76370690e1d"},
    {MZHashKindSHA256, key0b, hiThere,
     "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
    {MZHashKindSHA256, QStringLiteral("Jefe"), whatDoYaWant,
     "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
    {MZHashKindSHA256, key0119, cd50,
     "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
    {MZHashKindSHA256, QStringLiteral(""), "",
     "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad"},
    {MZHashKindSHA512, key0b, hiThere,
     "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cde"
     "daa833b7d6b8a702038b274eaea3f4e4be9d914eeb61f1702e696c203a126854"},
    {MZHashKindSHA512, QStringLiteral("Jefe"), whatDoYaWant,
     "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea250554"
     "9758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737"},
    {MZHashKindSHA512, key0119, cd50,
     "b0ba465637458c6990e5a8c5f61d4af7e576d97ff94b872de76f8050361ee3db"
     "a91ca5c11aa25eb4d679275cc5788063a5f19741120c4f2de2adebeb10a298dd"},
};

TEST(MZWebUtility, HmacsMatchPublishedVectors) {
    for (const HmacVector &v : hmacVectors) {
        const QString expected = QString::fromLatin1(v.mac);
        const std::string label = QStringLiteral("kind %1, key of %2 characters")
                                      .arg(v.kind)
                                      .arg(v.key.size())
                                      .toStdString();
        EXPECT_EQ(MZWebUtility::hMacData(v.data, v.key, v.kind), expected) << label;
        if (v.data != cd50) {
            EXPECT_EQ(MZWebUtility::hMacString(QString::fromLatin1(v.data), v.key, v.kind),
                      expected)
                << label;
        }
    }
}

TEST(MZWebUtility, KeyEndsAtItsFirstNul) {
    EXPECT_EQ(MZWebUtility::hMacData(whatDoYaWant, QStringLiteral("Jefe\0ignored"), MZHashKindMD5),
              QStringLiteral("750c783e6ab0b503eaa86e310a5db738"));
}

TEST(MZWebUtility, TextIsUtf8) {
    const QString text = QStringLiteral("caf\u00e9 \u4e2d");
    for (MZHashKind kind = MZHashKindMD5; kind <= MZHashKindSHA512; ++kind) {
        EXPECT_EQ(MZWebUtility::hashString(text, kind),
                  MZWebUtility::hashData(text.toUtf8(), kind));
        EXPECT_EQ(MZWebUtility::hMacString(text, text, kind),
                  MZWebUtility::hMacData(text.toUtf8(), text, kind));
    }
}

TEST(MZWebUtility, RejectsUnknownKindsMissingArgumentsAndUnreadableFiles) {
    QTemporaryDir dir;
    const QString file = writeFile(dir, "abc");
    for (MZHashKind kind : {MZHashKind(4), MZHashKind(-1)}) {
        EXPECT_TRUE(MZWebUtility::hashFile(file, kind).isNull());
        EXPECT_TRUE(MZWebUtility::hashData("abc", kind).isNull());
        EXPECT_TRUE(MZWebUtility::hashString(QStringLiteral("abc"), kind).isNull());
        EXPECT_TRUE(MZWebUtility::hMacData("abc", QStringLiteral("k"), kind).isNull());
        EXPECT_TRUE(
            MZWebUtility::hMacString(QStringLiteral("abc"), QStringLiteral("k"), kind).isNull());
    }
    EXPECT_TRUE(MZWebUtility::hashData(QByteArray(), MZHashKindMD5).isNull());
    EXPECT_TRUE(MZWebUtility::hashString(QString(), MZHashKindMD5).isNull());
    EXPECT_TRUE(MZWebUtility::hMacData(QByteArray(), QStringLiteral("k"), MZHashKindMD5).isNull());
    EXPECT_TRUE(MZWebUtility::hMacData("abc", QString(), MZHashKindMD5).isNull());
    EXPECT_TRUE(MZWebUtility::hMacString(QString(), QStringLiteral("k"), MZHashKindMD5).isNull());
    EXPECT_TRUE(
        MZWebUtility::hashFile(dir.filePath(QStringLiteral("missing")), MZHashKindMD5).isNull());
    EXPECT_TRUE(MZWebUtility::hashFile(dir.path(), MZHashKindMD5).isNull());
}

}  // namespace
