// MZPostWebService: the multipart body byte for byte, and the request a real server receives.
#include "tests/support/LoopbackHttpServer.h"
#include "web/MZPostWebService.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QByteArray opener = "--_insert_some_boundary_here_\r\n";
const QByteArray closer = "--_insert_some_boundary_here_--\r\n";

QByteArray plainPart(const QByteArray &key, const QByteArray &content) {
    return opener + "Content-Disposition: form-data; name=\"" + key + "\"\r\n\r\n" + content +
           "\r\n";
}

QByteArray filePart(const QByteArray &key, const QByteArray &name, const QByteArray &content) {
    return opener + "Content-Disposition: form-data; name=\"" + key + "\"; filename=\"" + name +
           "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n";
}

TEST(MZPostWebService, BodiesByteForByte) {
    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("report.pdf"));
    const QByteArray pdf("%PDF\x00\xff\r\n", 8);
    QFile file(report);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(pdf);
    file.close();
    const QByteArray notUtf8("\xc3\x28\xff\x00", 4);
    const struct {
        const char *name;
        QVariantMap form;
        QByteArray body;
    } cases[] = {
        {"empty", {}, closer},
        {"one text field", {{"a", QStringLiteral("x")}}, plainPart("a", "x") + closer},
        {"file", {{"f", QUrl::fromLocalFile(report)}}, filePart("f", "report.pdf", pdf) + closer},
        {"file at localhost",
         {{"f", QUrl(QStringLiteral("file://localhost") + report)}},
         filePart("f", "report.pdf", pdf) + closer},
        {"unreadable file",
         {{"f", QUrl::fromLocalFile(dir.filePath(QStringLiteral("gone.bin")))}},
         filePart("f", "gone.bin", {}) + closer},
        {"web address and other values",
         {{"w", QUrl(QStringLiteral("https://example.org/a.txt"))},
          {"z", QVariant::fromValue(nullptr)}},
         opener + "\r\n" + opener + "\r\n" + closer},
        {"bytes as they are", {{"d", notUtf8}}, plainPart("d", notUtf8) + closer},
        {"parts ascending by key, text as UTF-8",
         {{"b", QStringLiteral("\u00e9")}, {"a", QStringLiteral("")}},
         plainPart("a", "") + plainPart("b", "\xc3\xa9") + closer},
        {"quotes and line breaks stay inside the header",
         {{"k\"\r\n", QStringLiteral("v")}},
         plainPart("k%22%0D%0A", "v") + closer},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(MZPostWebService::generateFormData(c.form), c.body) << c.name;
    }
    EXPECT_EQ(MZPostWebService::generateFormData({{"a", QStringLiteral("x")}}).size(), 111);
    EXPECT_EQ(closer.size(), 33);
}

TEST(MZPostWebService, NumbersInTheirShortestPlainText) {
    const struct {
        QVariant number;
        QByteArray text;
    } cases[] = {{7, "7"},
                 {true, "1"},
                 {QVariant::fromValue(quint64(1) << 63), "9223372036854775808"},
                 {2.5, "2.5"},
                 {0.1, "0.1"},
                 {0.1f, "0.1"},
                 {1e5, "100000"},
                 {1e14, "100000000000000"},
                 {1e-4, "0.0001"},
                 {1e-5, "1e-05"},
                 {1e17, "1e+17"}};
    for (const auto &c : cases) {
        EXPECT_EQ(MZPostWebService::generateFormData({{"n", c.number}}),
                  plainPart("n", c.text) + closer);
    }
}

TEST(MZPostWebService, AContentHoldingTheBoundaryGetsAnotherBoundary) {
    const QByteArray sneaky = "\r\n--_insert_some_boundary_here_\r\n--_insert_some_boundary_here_1";
    QByteArray boundary;
    const QByteArray body = MZPostWebService::generateFormData({{"a", sneaky}}, &boundary);
    EXPECT_EQ(boundary, "_insert_some_boundary_here_2");
    EXPECT_EQ(body,
              "--_insert_some_boundary_here_2\r\n"
              "Content-Disposition: form-data; name=\"a\"\r\n\r\n" +
                  sneaky + "\r\n--_insert_some_boundary_here_2--\r\n");
}

TEST(MZPostWebService, TheServerReceivesThePostWithItsHeaderFields) {
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    const QVariantMap form = {{"name", QStringLiteral("velmora")}, {"count", 3}};
    auto service = std::make_shared<MZPostWebService>();
    service->setUrl(server.url(QStringLiteral("/upload")));
    service->setPostDic(form);
    bool answered = false;
    service->startWithHandler([&](const auto &, const auto &error, const auto &data) {
        answered = !error && data.has_value();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }, 5000));
    ASSERT_EQ(server.requests().size(), 1);
    const LoopbackHttpServer::Request request = server.requests().first();
    const QByteArray body = MZPostWebService::generateFormData(form);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.header("Content-Type"),
              "multipart/form-data; boundary=_insert_some_boundary_here_");
    EXPECT_EQ(request.header("Content-Length"), QByteArray::number(body.size()));
    EXPECT_EQ(request.body, body);
}

}  // namespace
