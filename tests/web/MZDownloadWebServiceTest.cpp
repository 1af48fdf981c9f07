// MZDownloadWebService against a real HTTP server on loopback, and once against nginx.
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/NginxServer.h"
#include "web/MZDownloadWebService.h"
#include "web/MZWebServiceError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Reply = LoopbackHttpServer::Reply;
using Request = LoopbackHttpServer::Request;
using namespace std::chrono_literals;

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &b : bytes) b = char(generator.generate());
    return bytes;
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// How the test server answers a request for "bytes=N-": WrongRange sends a range from
// elsewhere, Short one short of the end, Empty a 204, Moved a redirection to the file's other
// address, and Cut breaks a chunked body off before its data. It names its version of the file by
// an ETag (not when Dated) and a date, and honours If-Range.
enum class Serve { Ranged, Dated, IgnoreRange, WrongRange, Short, Empty, NotFound, Moved, Cut };

// The answer of a file server holding content.
Reply fileReply(const Request &request, const QByteArray &content, Serve serve) {
    Reply reply;
    if (serve == Serve::Moved && !request.target.startsWith("/moved")) {
        reply.status = 302;
        reply.headers = {{"Location", "/moved" + request.target}};
        return reply;
    }
    const quint16 version = qChecksum(content);
    const QByteArray tag = '"' + QByteArray::number(version) + '"';
    const QByteArray date =
        QDateTime::fromSecsSinceEpoch(version).toString(Qt::RFC2822Date).toLatin1();
    reply.headers = {{"Last-Modified", date}};
    if (serve != Serve::Dated) reply.headers.append({"ETag", tag});
    const QByteArray ifRange = request.header("If-Range");
    const bool sameVersion = ifRange.isEmpty() || ifRange == tag || ifRange == date;
    const QByteArray range = sameVersion ? request.header("Range") : QByteArray();
    const qsizetype from = range.mid(6, range.indexOf('-') - 6).toLongLong();
    const QByteArray size = QByteArray::number(content.size());
    if (serve == Serve::NotFound) {
        reply.status = 404;
        reply.body = "not here";
    } else if (serve == Serve::Empty) {
        reply.status = 204;
    } else if (serve == Serve::IgnoreRange || range.isEmpty()) {
        reply.body = content;
    } else if (from >= content.size()) {
        reply.status = 416;
        reply.headers.append({"Content-Range", "bytes */" + size});
        reply.body = "<html>416</html>";
    } else {
        const qsizetype start = serve == Serve::WrongRange ? from / 2 : from;
        const qsizetype end = serve == Serve::Short ? from + 1000 : content.size();
        reply.status = 206;
        reply.headers.append({"Content-Range", "bytes " + QByteArray::number(start) + '-' +
                                                   QByteArray::number(end - 1) + '/' + size});
        reply.body = content.mid(start, end - start);
    }
    if (serve == Serve::Cut) {  // a chunk's size line, then the connection closes
        reply.headers.emplace_back("Transfer-Encoding", "chunked");
        reply.announceLength = false;
        reply.body = QByteArray::number(reply.body.size(), 16) + "\r\n";
    }
    return reply;
}

// Everything a download tells its block, its web service block and its delegate, in order.
struct Events : MZDownloadWebServiceDelegate {
    QStringList log;
    QList<double> progress;
    std::optional<Error> error;
    bool finished = false;

    MZDownloadBlock downloadBlock() {
        return [this](const auto &response, const auto &e, bool done, double p) {
            if (response)
                log << QStringLiteral("response %1 %2").arg(response->statusCode()).arg(p);
            if (e) log << QStringLiteral("error %1 %2").arg(e->code()).arg(p);
            if (done) log << QStringLiteral("finished %1").arg(p);
            if (!response && !e && !done) progress << p;
            if (e) error = e;
            finished = finished || done;
        };
    }
    MZWebServiceBlock webBlock() {
        return [this](const auto &response, const auto &e, const auto &data) {
            if (response) log << QStringLiteral("web response");
            if (e) log << QStringLiteral("web error");
            if (data) log << QStringLiteral("web data %1").arg(data->size());
        };
    }
    void webServiceBegin(MZWebService *) override { log << QStringLiteral("begin"); }
    void webServiceFail(MZWebService *, const Error &e) override {
        log << QStringLiteral("fail %1").arg(e.code());
    }
    void webServiceFinish(MZWebService *, const QByteArray &data) override {
        log << QStringLiteral("finish %1").arg(data.size());
    }
    void downloadProgressChange(MZDownloadWebService *, double p) override {
        log << QStringLiteral("delegate progress");
        Q_UNUSED(p);
    }
    bool ended() const { return finished || error.has_value(); }
};

class MZDownloadWebServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(dir.isValid());
        serve(Serve::Ranged);
    }

    void serve(Serve how, qsizetype trickle = 0) {
        server.setResponder([content = content, how, trickle](const Request &request) {
            Reply reply = fileReply(request, content, how);
            reply.trickleBytes = trickle;
            reply.trickleInterval = 10ms;
            return reply;
        });
    }

    std::shared_ptr<MZDownloadWebService> download(Events &events) {
        auto service = std::make_shared<MZDownloadWebService>();
        service->setUrl(server.url(QStringLiteral("/files/setup.dmg")));
        service->setFilePath(dir.path());
        service->setDelegate(&events);
        service->setDownloadBlock(events.downloadBlock());
        return service;
    }

    // Leaves the first bytes of another version of the file, as a run broken off there does.
    void interruptedRun(Serve how, qsizetype bytes) {
        server.setResponder([how, bytes](const Request &request) {
            Reply reply = fileReply(request, randomBytes(5000, 8), how);
            reply.ending = Reply::Ending::DropMidBody;
            reply.dropAfterBytes = bytes;
            return reply;
        });
        Events events;
        ASSERT_TRUE(download(events)->startAsynchronous());
        ASSERT_TRUE(waitEnded(events));
    }

    QString destination() const { return dir.filePath(QStringLiteral("setup.dmg")); }
    QString temporary() const { return destination() + QStringLiteral(".TempDownload"); }
    QByteArray lastRange() const { return server.requests().last().header("Range"); }

    static bool waitEnded(const Events &events) {
        return QTest::qWaitFor([&] { return events.ended(); }, 10000);
    }

    const QByteArray content = randomBytes(5000, 7);
    LoopbackHttpServer server;
    QTemporaryDir dir;
};

TEST_F(MZDownloadWebServiceTest, FreshDownloadAsksFromZeroAndFinishesInOrder) {
    Events events;
    auto service = download(events);
    service->setWebServiceBlock(events.webBlock());
    ASSERT_TRUE(service->startAsynchronous());
    EXPECT_EQ(readFile(temporary()), QByteArray());
    std::weak_ptr<MZDownloadWebService> gone = std::exchange(service, nullptr);
    ASSERT_TRUE(waitEnded(events));
    EXPECT_EQ(lastRange(), "bytes=0-");
    EXPECT_EQ(server.requests().last().header("Accept-Encoding"), "identity");
    EXPECT_EQ(readFile(destination()), content);
    EXPECT_FALSE(QFile::exists(temporary()));
    EXPECT_EQ(events.log, QStringList({"response 206 0", "web response", "begin", "finished 0",
                                       "web data 0", "finish 0"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return gone.expired(); }, 5000));
}

TEST_F(MZDownloadWebServiceTest, ResumesFromThePartialFileAndCountsItInTheProgress) {
    writeFile(temporary(), content.left(1000));
    serve(Serve::Ranged, 500);
    Events events;
    auto service = download(events);
    ASSERT_TRUE(service->startAsynchronous());
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(temporary()).size() > 1000; }, 5000));
    EXPECT_EQ(lastRange(), "bytes=1000-");
    EXPECT_EQ(service->fileSize(), 5000u);
    service->lisenProgressAndSpeed();
    ASSERT_FALSE(events.progress.isEmpty());
    EXPECT_GT(events.progress.last(), 0.2);
    EXPECT_GT(service->averageSpeed(), 0.0);
    EXPECT_TRUE(events.log.contains("delegate progress"));
    ASSERT_TRUE(waitEnded(events));
    EXPECT_EQ(readFile(destination()), content);
    EXPECT_EQ(service->fileSize(), 0u) << "stop clears the figures";
}

TEST_F(MZDownloadWebServiceTest, AnswersThatDoNotContinueThePartialFile) {
    constexpr qint64 Refused = MZWebServiceError::UnexpectedResponse;
    const struct {
        const char *name;
        Serve serve;
        qsizetype partial;
        bool older;    // the partial file is an earlier version's, left by an interrupted run
        qint64 error;  // 0: the download finishes with the file
    } cases[] = {
        {"whole file instead of the range: start over", Serve::IgnoreRange, 1000, false, 0},
        {"nothing left to send: already whole", Serve::Ranged, 5000, false, 0},
        {"file changed since: start over", Serve::Ranged, 1000, true, 0},
        {"file changed since, dates only: start over", Serve::Dated, 1000, true, 0},
        {"redirected: the final answer counts", Serve::Moved, 1000, false, 0},
        {"range from elsewhere: refused", Serve::WrongRange, 1000, false, Refused},
        {"range short of the end: refused", Serve::Short, 1000, false, Refused},
        {"no content: refused", Serve::Empty, 1000, false, Refused},
        {"error status: refused", Serve::NotFound, 1000, false, Refused},
        {"chunked body cut off: the transfer error", Serve::Cut, 1000, false,
         QNetworkReply::RemoteHostClosedError},
    };
    for (const auto &c : cases) {
        QFile::remove(destination());
        QFile::remove(temporary());
        if (c.older) {
            interruptedRun(c.serve, c.partial);
        } else {
            writeFile(temporary(), content.left(c.partial));
        }
        serve(c.serve);
        Events events;
        auto service = download(events);
        ASSERT_TRUE(service->startAsynchronous()) << c.name;
        ASSERT_TRUE(waitEnded(events)) << c.name;
        EXPECT_EQ(events.error.value_or(Error()).code(), c.error) << c.name;
        if (c.error == 0) {
            EXPECT_EQ(readFile(destination()), content) << c.name;
            EXPECT_FALSE(QFile::exists(temporary())) << c.name;
        } else {
            EXPECT_EQ(readFile(temporary()), content.left(c.partial)) << c.name;
            EXPECT_FALSE(QFile::exists(destination())) << c.name;
            EXPECT_EQ(events.log.last(), QStringLiteral("fail %1").arg(c.error)) << c.name;
        }
    }
}

TEST_F(MZDownloadWebServiceTest, WithoutALengthNoProgressIsReportedButSpeedsAre) {
    server.setResponder([this](const Request &) {
        Reply reply;
        reply.body = content;
        reply.announceLength = false;
        reply.trickleBytes = 1000;
        reply.trickleInterval = 30ms;
        return reply;
    });
    Events events;
    auto service = download(events);
    ASSERT_TRUE(service->startAsynchronous());
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(temporary()).size() > 0; }, 5000));
    service->lisenProgressAndSpeed();
    EXPECT_EQ(service->fileSize(), 0u);
    EXPECT_GT(service->averageSpeed(), 0.0);
    ASSERT_TRUE(waitEnded(events));
    EXPECT_TRUE(events.progress.isEmpty());
    EXPECT_EQ(readFile(destination()), content);
}

TEST_F(MZDownloadWebServiceTest, AnExistingDestinationIsKeptOrReplaced) {
    for (const bool overwrite : {false, true}) {
        writeFile(destination(), "old");
        Events events;
        auto service = download(events);
        service->setOverwrite(overwrite);
        EXPECT_EQ(service->startAsynchronous(), overwrite);
        if (overwrite) {
            EXPECT_FALSE(QFile::exists(destination())) << "removed before the transfer";
            ASSERT_TRUE(waitEnded(events));
            EXPECT_EQ(readFile(destination()), content);
        } else {
            EXPECT_EQ(events.log, QStringList({"error 102 0", "fail 102"}));
            EXPECT_EQ(events.error, Error(QStringLiteral("File Exist!"), 102));
            EXPECT_EQ(readFile(destination()), "old");
            EXPECT_FALSE(QFile::exists(temporary()));
        }
    }
    EXPECT_EQ(server.requests().size(), 1);
}

// The set-up errors the download shares with every web service are the web service's table.
TEST_F(MZDownloadWebServiceTest, SetUpFailuresReachTheBlockDuringTheStart) {
    QDir(dir.path()).mkdir(QStringLiteral("setup.dmg.TempDownload"));
    Events unwritable;
    EXPECT_FALSE(download(unwritable)->startAsynchronous());
    EXPECT_EQ(unwritable.log, QStringList({"error 103 0", "fail 103"}));
    EXPECT_EQ(unwritable.error, Error(QStringLiteral("Create File Fail!"), 103));
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(MZDownloadWebServiceTest, DefaultsAreTheUrlsFileNameAndTheDocumentsFolder) {
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", dir.path().toUtf8());
    QDir(dir.path()).mkdir(QStringLiteral("Documents"));
    Events events;
    auto service = std::make_shared<MZDownloadWebService>();
    service->setUrl(server.url(QStringLiteral("/files/setup.dmg")));
    service->startWithHandler(events.downloadBlock());
    qputenv("HOME", home);
    EXPECT_EQ(service->fileName(), QStringLiteral("setup.dmg"));
    EXPECT_EQ(service->filePath(), dir.filePath(QStringLiteral("Documents")));
    ASSERT_TRUE(waitEnded(events));
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("Documents/setup.dmg"))), content);
}

TEST_F(MZDownloadWebServiceTest, ATransportFailureLeavesNothingOpenOrRunning) {
    server.setReply([] {
        Reply reply;
        reply.body = QByteArray(4000, 'p');
        reply.ending = Reply::Ending::DropMidBody;
        return reply;
    }());
    Events events;
    auto service = download(events);
    ASSERT_TRUE(service->startAsynchronous());
    std::weak_ptr<MZDownloadWebService> gone = std::exchange(service, nullptr);
    ASSERT_TRUE(waitEnded(events));
    ASSERT_TRUE(events.error.has_value());
    EXPECT_EQ(events.log.last(), QStringLiteral("fail %1").arg(events.error->code()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return gone.expired(); }, 5000));
    EXPECT_EQ(readFile(temporary()), QByteArray(2000, 'p')) << "kept for resuming";
    EXPECT_FALSE(QFile::exists(destination()));
}

// Stops and dropped connections at random points, some from servers that ignore the range,
// before the transfer may run to its end; the file must then match the source byte for byte.
TEST_F(MZDownloadWebServiceTest, ManyRandomInterruptionsStillGiveTheExactFile) {
    const QByteArray source = randomBytes(300000, 11);
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    constexpr int Interruptions = 40;
    Events events;
    for (int attempt = 0; !events.finished; ++attempt) {
        ASSERT_LT(attempt, Interruptions + 20);
        const bool drop = attempt < Interruptions && random.bounded(2) == 0;
        const bool stop = attempt < Interruptions && !drop;
        const Serve serve = random.bounded(8) == 0 ? Serve::IgnoreRange : Serve::Ranged;
        const qsizetype dropAt = random.bounded(30000);
        server.setResponder([&source, serve, drop, dropAt](const Request &request) {
            Reply reply = fileReply(request, source, serve);
            reply.trickleBytes = 2048;
            reply.trickleInterval = 1ms;
            if (drop) reply.ending = Reply::Ending::DropMidBody;
            reply.dropAfterBytes = dropAt;
            return reply;
        });
        events = Events();
        auto service = download(events);
        ASSERT_TRUE(service->startAsynchronous());
        if (stop) {
            QTest::qWait(random.bounded(20));
            if (!events.ended()) service->stop();
            continue;
        }
        ASSERT_TRUE(waitEnded(events));
    }
    EXPECT_EQ(readFile(destination()), source);
    EXPECT_FALSE(QFile::exists(temporary()));
}

TEST_F(MZDownloadWebServiceTest, DownloadsFromNginxAndResumesThere) {
    if (NginxServer::executable().isEmpty())
        GTEST_SKIP() << "nginx was not fetched (scripts/fetch-tools.sh)";
    QTemporaryDir root;
    const QByteArray source = randomBytes(3 << 20, 5);
    writeFile(root.filePath(QStringLiteral("setup.dmg")), source);
    NginxServer nginx;
    ASSERT_TRUE(nginx.start(root.path()));
    writeFile(temporary(), source.left(1 << 20));
    Events events;
    auto service = download(events);
    service->setUrl(nginx.url(QStringLiteral("/setup.dmg")));
    ASSERT_TRUE(service->startAsynchronous());
    ASSERT_TRUE(waitEnded(events));
    EXPECT_TRUE(events.log.contains("response 206 0"));
    EXPECT_EQ(readFile(destination()), source);
}

}  // namespace
