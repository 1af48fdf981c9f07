#pragma once

#include "web/MZWebService.h"

#include <QByteArray>
#include <QVariantMap>

// An HTTP POST of a form as multipart/form-data. Field values may be text (QString), numbers
// (bool and the arithmetic types), bytes (QByteArray) or a local file (a QUrl whose scheme is
// file, read whole when the request is built); other values are sent as empty parts. A
// number is written as the shortest decimal text that reads back as its value. Parts go
// in the form's own order, ascending by key as QVariantMap keeps them. Everything else is
// MZWebService's: the start modes, block, delegate, errors and threading.
class MZPostWebService : public MZWebService {
public:
    static const QByteArray Boundary;

    const QVariantMap &postDic() const { return m_postDic; }
    void setPostDic(const QVariantMap &postDic) { m_postDic = postDic; }

    // The body for the form. Keys and file names have '"', CR and LF percent-encoded so they
    // stay inside their header line. When some part's content holds a boundary line, a
    // numbered variant of Boundary that none holds is used; *boundary, when given, receives
    // the boundary used.
    static QByteArray generateFormData(const QVariantMap &dictionary,
                                       QByteArray *boundary = nullptr);
    // A POST of generateFormData(postDic()) with its Content-Type and Content-Length; none
    // with error 100 or 101 when no request can be built. The body is built at every start,
    // on the worker thread in startWithHandler.
    std::optional<URLRequest> setUpRequest(std::optional<Error> *error) override;

private:
    QVariantMap m_postDic;
};
