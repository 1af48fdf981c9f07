// MZWebService against a real HTTP server on loopback.
#include "tests/support/LoopbackHttpServer.h"
#include "web/MZWebService.h"
#include "web/MZWebServiceDelegate.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Reply = LoopbackHttpServer::Reply;
using namespace std::chrono_literals;

// An answer with this body and status; tests adjust the rest.
Reply answer(const QByteArray &body, int status = 200) {
    Reply reply;
    reply.body = body;
    reply.status = status;
    return reply;
}

Reply ending(Reply::Ending how, const QByteArray &body = {}) {
    Reply reply = answer(body);
    reply.ending = how;
    return reply;
}

Reply trickled(const QByteArray &body, qsizetype bytes, std::chrono::milliseconds interval) {
    Reply reply = answer(body);
    reply.trickleBytes = bytes;
    reply.trickleInterval = interval;
    return reply;
}

Reply delayed(const QByteArray &body, std::chrono::milliseconds delay) {
    Reply reply = answer(body);
    reply.delay = delay;
    return reply;
}

struct Call {
    std::optional<URLResponse> response;
    std::optional<Error> error;
    std::optional<QByteArray> data;
    bool onMainThread;
};

// Records every call of the blocks it hands out.
struct BlockRecorder {
    std::shared_ptr<QList<Call>> calls = std::make_shared<QList<Call>>();
    MZWebServiceBlock block() const {
        return [calls = calls](const auto &response, const auto &error, const auto &data) {
            calls->append({response, error, data, QThread::currentThread() == qApp->thread()});
        };
    }
};

struct DelegateRecorder : MZWebServiceDelegate {
    QStringList events;
    void webServiceBegin(MZWebService *) override { events << QStringLiteral("begin"); }
    void webServiceFail(MZWebService *, const Error &e) override {
        events << QStringLiteral("fail %1").arg(e.code());
    }
    void webServiceFinish(MZWebService *, const QByteArray &data) override {
        events << QStringLiteral("finish %1").arg(data.size());
    }
};

class MZWebServiceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }

    // Starts a service on the server's address and lets go of it, as the update check does.
    std::weak_ptr<MZWebService> startAndForget(const MZWebServiceBlock &handler,
                                               const QUrl &url = {}) {
        auto service = std::make_shared<MZWebService>();
        service->setUrl(url.isEmpty() ? server.url() : url);
        service->startWithHandler(handler);
        return service;
    }

    static bool released(const std::weak_ptr<MZWebService> &service) {
        return QTest::qWaitFor([&] { return service.expired(); }, 5000);
    }

    LoopbackHttpServer server;
    BlockRecorder recorder;
};

TEST_F(MZWebServiceTest, HandlerReportsSetUpErrorsOnceOnTheMainThreadAndSendsNothing) {
    const struct {
        QUrl url;
        qint64 code;
        const char *message;
    } cases[] = {
        {QUrl(), 100, "URL Can not be nil!"},
        {QUrl(server.url().toString().replace("http:", "ftp:")), 101, "URL Request Create Error!"},
        {QUrl(QStringLiteral("http://")), 101, "URL Request Create Error!"},
        {QUrl(QStringLiteral("file:///etc/passwd")), 101, "URL Request Create Error!"},
        {QUrl(QStringLiteral("velmora/info.php")), 101, "URL Request Create Error!"},
    };
    for (const auto &c : cases) {
        BlockRecorder calls;
        auto service = std::make_shared<MZWebService>();
        service->setUrl(c.url);
        service->startWithHandler(calls.block());
        std::weak_ptr<MZWebService> gone = std::exchange(service, nullptr);
        ASSERT_TRUE(released(gone)) << c.message;
        ASSERT_EQ(calls.calls->size(), 1) << c.message;
        const Call &call = calls.calls->first();
        EXPECT_EQ(call.error, Error(QString::fromUtf8(c.message), c.code));
        EXPECT_FALSE(call.response || call.data);
        EXPECT_TRUE(call.onMainThread);
    }
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(MZWebServiceTest, HandlerDeliversThe404BodyAndTheServiceGoesAfterwards) {
    Reply notFound = answer("missing", 404);
    notFound.headers = {{"X-Velmora", "yes"}};
    server.setReply(notFound);
    const auto service = startAndForget(recorder.block());
    ASSERT_TRUE(released(service));
    ASSERT_EQ(recorder.calls->size(), 1);
    const Call &call = recorder.calls->first();
    ASSERT_TRUE(call.response);
    EXPECT_EQ(call.response->statusCode(), 404);
    EXPECT_EQ(call.response->valueForHTTPHeaderField("x-velmora"), "yes");
    EXPECT_EQ(call.response->expectedContentLength(), 7);
    EXPECT_FALSE(call.error);
    EXPECT_EQ(call.data, QByteArray("missing"));
    EXPECT_TRUE(call.onMainThread);
}

TEST_F(MZWebServiceTest, TwoStartsInARowBothReportToTheBlockSetWhenTheyReport) {
    server.setReply(delayed("x", 100ms));
    BlockRecorder first;
    auto service = std::make_shared<MZWebService>();
    service->setUrl(server.url());
    service->startWithHandler(first.block());
    service->startWithHandler(recorder.block());
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.calls->size() == 2; }, 5000));
    EXPECT_TRUE(first.calls->isEmpty());
    EXPECT_EQ(server.requests().size(), 2);
}

TEST_F(MZWebServiceTest, ABlockClearedBeforeTheReportHearsNothing) {
    server.setReply(delayed("x", 200ms));
    auto service = std::make_shared<MZWebService>();
    service->setUrl(server.url());
    service->startWithHandler(recorder.block());
    service->setWebServiceBlock({});
    std::weak_ptr<MZWebService> gone = std::exchange(service, nullptr);
    ASSERT_TRUE(released(gone));
    EXPECT_TRUE(recorder.calls->isEmpty());
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(MZWebServiceTest, AServerThatNeverAnswersTimesOut) {
    server.setReply(ending(Reply::Ending::NeverAnswer));
    auto service = std::make_shared<MZWebService>();
    EXPECT_EQ(service->timeoutInterval(), 15s);
    service->setUrl(server.url());
    service->setTimeoutInterval(300ms);
    service->startWithHandler(recorder.block());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder.calls->isEmpty(); }, 5000));
    const Call &call = recorder.calls->first();
    ASSERT_TRUE(call.error);
    EXPECT_EQ(call.error->domain(), URLConnection::ErrorDomain);
    EXPECT_EQ(call.error->code(), QNetworkReply::TimeoutError);
    EXPECT_FALSE(call.data);
}

TEST_F(MZWebServiceTest, EventDrivenEmptyBodyGivesTheResponseThenAnEmptyBody) {
    server.setReply(answer({}, 204));
    DelegateRecorder delegate;
    auto service = std::make_shared<MZWebService>();
    service->setUrl(server.url());
    service->setDelegate(&delegate);
    service->setWebServiceBlock(recorder.block());
    EXPECT_TRUE(service->startAsynchronous());
    std::weak_ptr<MZWebService> gone = std::exchange(service, nullptr);
    ASSERT_TRUE(released(gone));
    EXPECT_EQ(delegate.events, QStringList({"begin", "finish 0"}));
    ASSERT_EQ(recorder.calls->size(), 2);
    EXPECT_EQ(recorder.calls->at(0).response->statusCode(), 204);
    EXPECT_FALSE(recorder.calls->at(0).data);
    EXPECT_EQ(recorder.calls->at(1).data, QByteArray(""));
    EXPECT_FALSE(recorder.calls->at(1).response || recorder.calls->at(1).error);
}

TEST_F(MZWebServiceTest, EventDrivenFailuresReachTheBlockAndTheDelegate) {
    server.setReply(ending(Reply::Ending::DropMidBody, "0123456789"));
    DelegateRecorder delegate;
    auto service = std::make_shared<MZWebService>();
    service->setDelegate(&delegate);
    service->setWebServiceBlock(recorder.block());
    EXPECT_FALSE(service->startAsynchronous()) << "no URL";
    EXPECT_EQ(delegate.events, QStringList({"fail 100"}));
    service->setUrl(server.url());
    EXPECT_TRUE(service->startAsynchronous());
    // The response may begin before the body breaks off: wait for the failure itself.
    const auto failed = [&] {
        return delegate.events.size() > 1 && delegate.events.last().startsWith("fail") &&
               !recorder.calls->isEmpty() && recorder.calls->last().error;
    };
    ASSERT_TRUE(QTest::qWaitFor(failed, 5000)) << delegate.events.join(',').toStdString();
    EXPECT_EQ(recorder.calls->last().error->domain(), URLConnection::ErrorDomain);
    EXPECT_FALSE(recorder.calls->last().data);
}

TEST_F(MZWebServiceTest, StopDuringAnEventDrivenTransferReportsNothingMore) {
    server.setReply(trickled(QByteArray(400, 'x'), 10, 20ms));
    DelegateRecorder delegate;
    auto service = std::make_shared<MZWebService>();
    service->setUrl(server.url());
    service->setDelegate(&delegate);
    service->setWebServiceBlock(recorder.block());
    ASSERT_TRUE(service->startAsynchronous());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !delegate.events.isEmpty(); }, 5000));
    service->stop();
    service->stop();
    QTest::qWait(300);
    EXPECT_EQ(delegate.events, QStringList({"begin"}));
    EXPECT_EQ(recorder.calls->size(), 1);
    std::weak_ptr<MZWebService> gone = std::exchange(service, nullptr);
    EXPECT_TRUE(released(gone));
}

TEST_F(MZWebServiceTest, StartSynchronousOnTheMainThreadReturnsTheBody) {
    server.setReply(delayed("hello", 50ms));
    auto service = std::make_shared<MZWebService>();
    EXPECT_FALSE(service->startSynchronous()) << "no URL";
    service->setUrl(server.url());
    EXPECT_EQ(service->startSynchronous(), QByteArray("hello"));
    server.setReply(ending(Reply::Ending::DropBeforeAnswer));
    EXPECT_FALSE(service->startSynchronous());
}

}  // namespace
