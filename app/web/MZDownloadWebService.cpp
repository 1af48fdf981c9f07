#include "web/MZDownloadWebService.h"

#include "web/MZWebServiceError.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

const QString MZDownloadWebService::TemporarySuffix = QStringLiteral(".TempDownload");

namespace {

constexpr int PartialContent = 206;
constexpr int RangeNotSatisfiable = 416;

std::optional<Error> failure(MZWebServiceError::Code code) {
    return MZWebServiceError::error(code);
}

// The number after "bytes " in Content-Range ("bytes 1000-4999/5000" gives 1000), or the
// one after the slash with total set ("bytes */5000" gives 5000); none when malformed.
std::optional<quint64> contentRangeNumber(const URLResponse &response, bool total) {
    const QByteArray value = response.valueForHTTPHeaderField("Content-Range").trimmed();
    if (!value.startsWith("bytes ")) return std::nullopt;
    const QByteArray range = value.mid(6).trimmed();
    const qsizetype slash = range.indexOf('/');
    const qsizetype dash = range.indexOf('-');
    if (slash < 0 || (!total && dash < 0)) return std::nullopt;
    const QByteArray number = total ? range.mid(slash + 1) : range.left(dash);
    bool ok = false;
    const quint64 n = number.toULongLong(&ok);
    return ok ? std::optional(n) : std::nullopt;
}

}  // namespace

void MZDownloadWebService::TimerDeleter::operator()(QTimer *timer) const {
    // The timer may be the one whose signal is running.
    timer->stop();
    timer->deleteLater();
}

MZDownloadWebService::MZDownloadWebService() { setTimeoutInterval(DownloadTimeoutInterval); }

MZDownloadWebService::~MZDownloadWebService() { MZDownloadWebService::stop(); }

MZDownloadWebServiceDelegate *MZDownloadWebService::delegate() const {
    return dynamic_cast<MZDownloadWebServiceDelegate *>(MZWebService::delegate());
}

void MZDownloadWebService::setDelegate(MZDownloadWebServiceDelegate *delegate) {
    MZWebService::setDelegate(delegate);
}

void MZDownloadWebService::startWithHandler(const MZDownloadBlock &handler) {
    setDownloadBlock(handler);
    startAsynchronous();
}

void MZDownloadWebService::startWithHandler(const MZWebServiceBlock &handler) {
    setWebServiceBlock(handler);
    startAsynchronous();
}

bool MZDownloadWebService::startAsynchronous() {
    if (!MZWebService::startAsynchronous()) return false;
    m_timer.reset(new QTimer);
    // The first sample comes as soon as the event loop runs, the next ones every interval.
    m_timer->setInterval(0);
    QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(), [this] {
        m_timer->setInterval(SamplingInterval);
        lisenProgressAndSpeed();
    });
    m_timer->start();
    m_startDate.start();
    return true;
}

void MZDownloadWebService::stop() {
    MZWebService::stop();
    m_fileHandle.reset();
    m_timer.reset();
    m_startDate.invalidate();
    m_totalDownSize = m_onceDownSize = m_fileSize = 0;
    m_peakSpeed = m_averageSpeed = 0.0;
    m_alreadyComplete = false;
}

std::optional<URLRequest> MZDownloadWebService::setUpRequest(std::optional<Error> *error) {
    auto request = createRequest(error);
    if (!request) return std::nullopt;
    if (const auto failed = prepareFiles()) {
        if (error) *error = failed;
        return std::nullopt;
    }
    request->setHTTPMethod(QByteArrayLiteral("GET"));
    request->setValue("bytes=" + QByteArray::number(m_offset) + '-', "Range");
    // An encoded body would not add up to the file's bytes.
    request->setValue("identity", "Accept-Encoding");
    ++m_transfer;
    if (error) error->reset();
    return request;
}

void MZDownloadWebService::fillDefaultLocation() {
    if (m_fileName.isNull()) m_fileName = URLResponse(url()).suggestedFilename();
    if (m_filePath.isNull()) {
        m_filePath = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    }
}

// Removes or refuses an existing destination, then opens the temporary file at its end.
std::optional<Error> MZDownloadWebService::prepareFiles() {
    fillDefaultLocation();
    m_destinationPath = QDir(m_filePath).filePath(m_fileName);
    m_temporaryPath = m_destinationPath + TemporarySuffix;
    if (QFileInfo::exists(m_destinationPath)) {
        if (!m_overwrite) return failure(MZWebServiceError::FileExist);
        QFile::remove(m_destinationPath);
    }
    auto file = std::make_unique<QFile>(m_temporaryPath);
    // Unbuffered: every chunk is on disk before the next sample reads the size.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        return failure(MZWebServiceError::CreateFileFail);
    }
    m_offset = quint64(file->size());
    m_fileHandle = std::move(file);
    return std::nullopt;
}

void MZDownloadWebService::didReceiveResponse(const URLResponse &response) {
    const quint64 transfer = m_transfer;
    const std::optional<Error> refused = takeResponse(response);
    if (!refused && !m_alreadyComplete && response.expectedContentLength() != -1) {
        m_fileSize = quint64(response.expectedContentLength()) + m_offset;
    }
    callDownloadBlock(response, std::nullopt, false, 0.0);
    MZWebService::didReceiveResponse(response);
    // Unless a report above stopped this transfer or started another.
    if (refused && m_fileHandle && transfer == m_transfer) didFailWithError(*refused);
}

// What the answer means for the temporary file: go on at its end, start it over (the server
// sent the whole file), take it as complete, or refuse the answer and leave the file alone.
std::optional<Error> MZDownloadWebService::takeResponse(const URLResponse &response) {
    const int status = response.statusCode();
    if (status == PartialContent) {
        if (contentRangeNumber(response, false) == m_offset) return std::nullopt;
        return failure(MZWebServiceError::UnexpectedResponse);
    }
    if (status == RangeNotSatisfiable && contentRangeNumber(response, true) == m_offset) {
        m_alreadyComplete = true;
        m_fileSize = m_offset;
        return std::nullopt;
    }
    if (status < 200 || status >= 300) return failure(MZWebServiceError::UnexpectedResponse);
    if (m_offset > 0) {
        if (!m_fileHandle->resize(0)) return failure(MZWebServiceError::WriteFileFail);
        m_offset = 0;
    }
    return std::nullopt;
}

void MZDownloadWebService::didReceiveData(const QByteArray &data) {
    if (!m_fileHandle || m_alreadyComplete) return;
    m_totalDownSize += quint64(data.size());
    m_onceDownSize += quint64(data.size());
    if (m_fileHandle->write(data) != data.size()) {
        didFailWithError(*failure(MZWebServiceError::WriteFileFail));
    }
}

void MZDownloadWebService::lisenProgressAndSpeed() {
    if (!m_fileHandle) return;
    m_offset = quint64(m_fileHandle->size());
    const double seconds = double(m_startDate.nsecsElapsed()) / 1e9;
    m_averageSpeed = seconds > 0.0 ? double(m_totalDownSize) / seconds : 0.0;
    m_peakSpeed = double(m_onceDownSize) / std::chrono::duration<double>(SamplingInterval).count();
    m_onceDownSize = 0;
    if (m_fileSize == 0) return;
    const double progress = double(m_offset) / double(m_fileSize);
    if (MZDownloadWebServiceDelegate *d = delegate()) d->downloadProgressChange(this, progress);
    callDownloadBlock(std::nullopt, std::nullopt, false, progress);
}

void MZDownloadWebService::didFailWithError(const Error &error) {
    callDownloadBlock(std::nullopt, error, false, 0.0);
    // Ends the transfer too: nothing stays open or running after a failure report.
    MZWebService::didFailWithError(error);
}

void MZDownloadWebService::didFinishLoading() {
    if (const auto failed = moveIntoPlace()) return didFailWithError(*failed);
    callDownloadBlock(std::nullopt, std::nullopt, true, 0.0);
    MZWebService::didFinishLoading();
}

std::optional<Error> MZDownloadWebService::moveIntoPlace() {
    // A connection closed early can look like a finished one; the announced size tells.
    if (m_fileSize > 0 && quint64(m_fileHandle->size()) != m_fileSize) {
        return Error(URLConnection::ErrorDomain, QNetworkReply::RemoteHostClosedError,
                     {{Error::LocalizedDescriptionKey,
                       QStringLiteral("The connection ended before the whole file arrived.")}});
    }
    if (QFileInfo::exists(m_destinationPath)) {
        if (!m_overwrite) return failure(MZWebServiceError::FileExist);
        QFile::remove(m_destinationPath);
    }
    if (!QFile::rename(m_temporaryPath, m_destinationPath)) {
        return failure(MZWebServiceError::WriteFileFail);
    }
    return std::nullopt;
}

void MZDownloadWebService::callDownloadBlock(const std::optional<URLResponse> &response,
                                             const std::optional<Error> &error, bool finished,
                                             double progress) const {
    // A copy, so that the block may replace itself.
    if (const MZDownloadBlock block = m_downloadBlock) block(response, error, finished, progress);
}
