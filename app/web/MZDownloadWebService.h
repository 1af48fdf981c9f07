#pragma once

#include "web/MZDownloadWebServiceDelegate.h"
#include "web/MZWebService.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// The download block: (response, error, finished, progress). It hears the response (with
// progress 0.0), every sample while the total size is known, a failure, and the end
// (finished true, progress 0.0, after the file is in place).
using MZDownloadBlock =
    std::function<void(const std::optional<URLResponse> &response,
                       const std::optional<Error> &error, bool finished, double progress)>;

// Downloads url into filePath/fileName, resuming where an earlier, interrupted run stopped.
// The bytes go to "<destination>.TempDownload" as they arrive (memory stays flat whatever
// the size); each start asks only for the bytes after that file's end, of the same version
// of the file (its validator is kept in "<destination>.TempDownload.validator"; a changed
// file is sent whole and starts over), and the finished file is moved to the destination.
// A file is finished only at the size the server announced, when it announced one. Every
// two seconds a sample updates the speeds and reports the progress. Always event-driven, on
// the starting thread's event loop (normally the main thread). stop keeps the temporary file
// for the next start.
//
// Held in a std::shared_ptr like every MZWebService; a running download keeps itself alive
// until it finishes, fails or is stopped. The block is stored as a copy; the delegate is not
// owned. Besides the errors of MZWebService: 102 when the destination exists and overwrite is
// off, 103 when the temporary file cannot be created or opened, 105 when the server answers
// with something other than exactly the rest of the file or the whole of it (the temporary
// file stays as it was), 106 when the file cannot be written or moved into place.
class MZDownloadWebService : public MZWebService {
public:
    static const QString TemporarySuffix;
    // Appended to the temporary file's name for the file holding its version's validator.
    static const QString ValidatorSuffix;
    static constexpr std::chrono::milliseconds SamplingInterval{2000};
    // How long the transfer may stall before it fails.
    static constexpr std::chrono::milliseconds DownloadTimeoutInterval{60000};

    MZDownloadWebService();
    ~MZDownloadWebService() override;

    bool overwrite() const { return m_overwrite; }
    void setOverwrite(bool overwrite) { m_overwrite = overwrite; }
    // Filled in at the start when null: the URL's last path component, and the user's
    // Documents folder.
    const QString &fileName() const { return m_fileName; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }
    const QString &filePath() const { return m_filePath; }
    void setFilePath(const QString &filePath) { m_filePath = filePath; }

    // The whole file's size once the server has announced a length, else 0.
    quint64 fileSize() const { return m_fileSize; }
    // Bytes per second over the last sampling interval, and since the start.
    double peakSpeed() const { return m_peakSpeed; }
    double averageSpeed() const { return m_averageSpeed; }

    const MZDownloadBlock &downloadBlock() const { return m_downloadBlock; }
    void setDownloadBlock(const MZDownloadBlock &block) { m_downloadBlock = block; }
    // The delegate, when it is a download delegate.
    MZDownloadWebServiceDelegate *delegate() const;
    void setDelegate(MZDownloadWebServiceDelegate *delegate);

    // Stores the handler as the download block and starts.
    void startWithHandler(const MZDownloadBlock &handler);
    // A plain completion block is stored as the web service block and the download runs
    // event-driven all the same, so the body still goes to the file.
    void startWithHandler(const MZWebServiceBlock &handler) override;
    bool startAsynchronous() override;
    void stop() override;
    // Prepares the destination and the temporary file and builds the ranged GET.
    std::optional<URLRequest> setUpRequest(std::optional<Error> *error) override;

    void didReceiveResponse(const URLResponse &response) override;
    void didReceiveData(const QByteArray &data) override;
    void didFailWithError(const Error &error) override;
    void didFinishLoading() override;
    // The sample: the timer calls it every SamplingInterval, the first time at once.
    void lisenProgressAndSpeed();

private:
    struct TimerDeleter {
        void operator()(QTimer *timer) const;
    };

    // Longer than any validator a server sends.
    static constexpr qint64 MaximumValidatorSize = 1024;

    void fillDefaultLocation();
    std::optional<Error> prepareFiles();
    std::optional<Error> takeResponse(const URLResponse &response);
    void startOver(const URLResponse &response);
    std::optional<Error> beginFile();
    QString validatorPath() const;
    QByteArray keptValidator() const;
    void keepValidator(const QByteArray &validator) const;
    std::optional<Error> moveIntoPlace();
    void callDownloadBlock(const std::optional<URLResponse> &response,
                           const std::optional<Error> &error, bool finished, double progress) const;

    bool m_overwrite = false;
    QString m_fileName;
    QString m_filePath;
    QElapsedTimer m_startDate;
    quint64 m_fileSize = 0;
    double m_peakSpeed = 0.0;
    double m_averageSpeed = 0.0;
    std::unique_ptr<QTimer, TimerDeleter> m_timer;
    QString m_destinationPath;
    QString m_temporaryPath;
    std::unique_ptr<QFile> m_fileHandle;
    quint64 m_offset = 0;
    quint64 m_totalDownSize = 0;
    quint64 m_onceDownSize = 0;
    // The server confirmed that the temporary file is already whole; its body is not file.
    bool m_alreadyComplete = false;
    // The answer's body replaces the temporary file, from its first byte on; m_validator is
    // the answer's, kept beside the file once it begins.
    bool m_startsOver = false;
    QByteArray m_validator;
    // Counts the transfers, so a report that started another one is not failed afterwards.
    quint64 m_transfer = 0;
    MZDownloadBlock m_downloadBlock;
};
