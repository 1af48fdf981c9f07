#include "web/MZDownloadWebService.h"

#include "web/MZWebServiceError.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

const QString MZDownloadWebService::TemporarySuffix = QStringLiteral(".TempDownload");

const QString MZDownloadWebService::ValidatorSuffix = QStringLiteral(".validator");

namespace {

constexpr int Ok = 200;
constexpr int NonAuthoritative = 203;
constexpr int PartialContent = 206;
constexpr int RangeNotSatisfiable = 416;

std::optional<Error> failure(MZWebServiceError::Code code) {
    return MZWebServiceError::error(code);
}

// Content-Range, "bytes <first>-<last>/<total>" or "bytes */<total>"; what is missing or
// malformed is none.
struct ContentRange {
    std::optional<quint64> first, last, total;
};

std::optional<quint64> number(const QByteArray &text) {
    bool ok = false;
    const quint64 n = text.trimmed().toULongLong(&ok);
    return ok ? std::optional(n) : std::nullopt;
}

ContentRange contentRange(const URLResponse &response) {
    const QByteArray value = response.valueForHTTPHeaderField("Content-Range").trimmed();
    if (!value.startsWith("bytes ")) return {};
    const QList<QByteArray> rangeAndTotal = value.mid(6).split('/');
    if (rangeAndTotal.size() != 2) return {};
    const QList<QByteArray> range = rangeAndTotal[0].split('-');
    if (range.size() != 2) return {{}, {}, number(rangeAndTotal[1])};
    return {number(range[0]), number(range[1]), number(rangeAndTotal[1])};
}

// What tells this version of the file from others in an If-Range: the ETag unless it is a
// weak one (If-Range compares strongly, so it would never match), else the date.
QByteArray validatorOf(const URLResponse &response) {
    const QByteArray tag = response.valueForHTTPHeaderField("ETag").trimmed();
    if (!tag.isEmpty() && !tag.startsWith("W/")) return tag;
    return response.valueForHTTPHeaderField("Last-Modified").trimmed();
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
    m_alreadyComplete = m_startsOver = false;
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
    // The rest only of the version the partial file came from; else the whole file.
    if (const QByteArray validator = keptValidator(); m_offset > 0 && !validator.isEmpty()) {
        request->setValue(validator, "If-Range");
    }
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
    callDownloadBlock(response, std::nullopt, false, 0.0);
    MZWebService::didReceiveResponse(response);
    // Unless a report above stopped this transfer or started another.
    if (refused && m_fileHandle && transfer == m_transfer) didFailWithError(*refused);
}

// What the answer means for the temporary file: exactly the rest of it, the whole file to
// start it over with, word that it is complete already; or anything else, which is refused
// and leaves the file alone. fileSize becomes the total the server announced, 0 for none.
std::optional<Error> MZDownloadWebService::takeResponse(const URLResponse &response) {
    const int status = response.statusCode();
    const ContentRange range = contentRange(response);
    const qint64 length = response.expectedContentLength();
    if (status == PartialContent) {
        const bool rest = range.first == m_offset && range.total && range.last &&
                          *range.first <= *range.last && *range.last + 1 == *range.total &&
                          (length == -1 || quint64(length) == *range.total - m_offset);
        if (!rest) return failure(MZWebServiceError::UnexpectedResponse);
        m_fileSize = *range.total;
        if (m_offset == 0) startOver(response);
        return std::nullopt;
    }
    if (status == RangeNotSatisfiable && !range.first && range.total == m_offset) {
        m_alreadyComplete = true;
        m_fileSize = m_offset;
        return std::nullopt;
    }
    if (status != Ok && status != NonAuthoritative) {
        return failure(MZWebServiceError::UnexpectedResponse);
    }
    m_fileSize = length == -1 ? 0 : quint64(length);
    startOver(response);
    return std::nullopt;
}

// The answer's body is the file from its first byte. The partial file stays until that
// body's first byte arrives, so an answer that brings none does not cost it.
void MZDownloadWebService::startOver(const URLResponse &response) {
    m_startsOver = true;
    m_validator = validatorOf(response);
}

// Empties the temporary file for the answer's body and keeps the answer's validator beside it.
std::optional<Error> MZDownloadWebService::beginFile() {
    m_startsOver = false;
    if (m_fileHandle->size() > 0 && !m_fileHandle->resize(0)) {
        return failure(MZWebServiceError::WriteFileFail);
    }
    m_offset = 0;
    keepValidator(m_validator);
    return std::nullopt;
}

QString MZDownloadWebService::validatorPath() const { return m_temporaryPath + ValidatorSuffix; }

QByteArray MZDownloadWebService::keptValidator() const {
    QFile file(validatorPath());
    return file.open(QIODevice::ReadOnly) ? file.read(MaximumValidatorSize).trimmed()
                                          : QByteArray();
}

// A validator that cannot be kept only costs a later resume its range: the server then
// sends the whole file again.
void MZDownloadWebService::keepValidator(const QByteArray &validator) const {
    QFile file(validatorPath());
    const bool keep =
        !validator.isEmpty() && !validator.contains('\n') && !validator.contains('\r');
    if (!keep || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(validator) != validator.size()) {
        file.remove();
    }
}

void MZDownloadWebService::didReceiveData(const QByteArray &data) {
    if (!m_fileHandle || m_alreadyComplete) return;
    if (m_startsOver) {
        if (const auto failed = beginFile()) return didFailWithError(*failed);
    }
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
    if (m_startsOver) {
        // A whole-file answer without a body: no file to put in place of the partial one.
        if (m_fileHandle->size() > 0) return failure(MZWebServiceError::UnexpectedResponse);
        if (const auto failed = beginFile()) return failed;
    }
    // A chunked body cut off can look like a whole one; the announced size tells.
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
    QFile::remove(validatorPath());
    return std::nullopt;
}

void MZDownloadWebService::callDownloadBlock(const std::optional<URLResponse> &response,
                                             const std::optional<Error> &error, bool finished,
                                             double progress) const {
    // A copy, so that the block may replace itself.
    if (const MZDownloadBlock block = m_downloadBlock) block(response, error, finished, progress);
}
