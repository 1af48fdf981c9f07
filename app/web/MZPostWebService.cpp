#include "web/MZPostWebService.h"

#include "json/NumberType.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QUrl>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>

const QByteArray MZPostWebService::Boundary = QByteArrayLiteral("_insert_some_boundary_here_");

namespace {

// One part before the boundary is chosen: its header lines and its content.
struct FormPart {
    QByteArray headers;
    QByteArray content;
};

// Keeps a key or file name inside its quoted header parameter.
QByteArray headerText(const QString &text) {
    QByteArray bytes = text.toUtf8();
    bytes.replace('"', "%22").replace('\r', "%0D").replace('\n', "%0A");
    return bytes;
}

QByteArray dispositionLine(const QString &key) {
    return "Content-Disposition: form-data; name=\"" + headerText(key) + '"';
}

// The shortest digits that read back as the same value, written out in full unless C's
// %.17g would use an exponent (below 1e-4, or from 1e17 on): 100000, 0.0001, 1e-05, 1e+17.
template <class Real>
QByteArray realText(Real value) {
    std::array<char, 64> text{};
    char *const first = text.data();
    char *const last = first + text.size();
    char *end = std::to_chars(first, last, value, std::chars_format::scientific).ptr;
    const char *exponent = std::find(first, end, 'e');
    if (exponent != end) {
        const int power = std::atoi(exponent + 1);
        if (power >= -4 && power < 17) {
            end = std::to_chars(first, last, value, std::chars_format::fixed).ptr;
        }
    }
    return QByteArray(first, end - first);
}

// 42, 2.5, 1 for true: integers exactly, other numbers by realText.
QByteArray numberText(const QVariant &number) {
    switch (number.metaType().id()) {
    case QMetaType::Bool:
        return number.toBool() ? "1" : "0";
    case QMetaType::Float:
        return realText(number.value<float>());
    case QMetaType::Double:
        return realText(number.toDouble());
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QByteArray::number(number.toULongLong());
    default:
        return QByteArray::number(number.toLongLong());
    }
}

FormPart filePart(const QString &key, const QUrl &url) {
    // The path alone: toLocalFile would keep a host, even localhost, in front of it.
    const QString path = url.path();
    const QString name = QFileInfo(QDir::cleanPath(path)).fileName();
    FormPart part{dispositionLine(key) + "; filename=\"" + headerText(name) +
                      "\"\r\nContent-Type: application/octet-stream\r\n\r\n",
                  {}};
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) part.content = file.readAll();
    return part;
}

FormPart partFor(const QString &key, const QVariant &value) {
    const QByteArray plain = dispositionLine(key) + "\r\n\r\n";
    if (value.metaType().id() == QMetaType::QString) return {plain, value.toString().toUtf8()};
    if (isNumberType(value.metaType().id())) return {plain, numberText(value)};
    if (value.metaType().id() == QMetaType::QUrl && value.toUrl().isLocalFile()) {
        return filePart(key, value.toUrl());
    }
    if (value.metaType().id() == QMetaType::QByteArray) return {plain, value.toByteArray()};
    return {};
}

// The fixed boundary, unless a content holds "--" and it; then the first numbered variant
// that none holds.
QByteArray boundaryFor(const QList<FormPart> &parts) {
    QByteArray boundary = MZPostWebService::Boundary;
    const auto heldBySome = [&parts](const QByteArray &delimiter) {
        for (const FormPart &part : parts) {
            if (part.content.contains(delimiter)) return true;
        }
        return false;
    };
    for (int n = 1; heldBySome("--" + boundary); ++n) {
        boundary = MZPostWebService::Boundary + QByteArray::number(n);
    }
    return boundary;
}

}  // namespace

QByteArray MZPostWebService::generateFormData(const QVariantMap &dictionary, QByteArray *boundary) {
    QList<FormPart> parts;
    qsizetype size = 0;
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it) {
        parts.append(partFor(it.key(), it.value()));
        size += parts.last().headers.size() + parts.last().content.size();
    }
    const QByteArray used = boundaryFor(parts);
    const QByteArray opener = "--" + used + "\r\n";
    QByteArray body;
    body.reserve(size + parts.size() * (opener.size() + 2) + used.size() + 6);
    for (const FormPart &part : parts) {
        body += opener;
        body += part.headers;
        body += part.content;
        body += "\r\n";
    }
    body += "--" + used + "--\r\n";
    if (boundary) *boundary = used;
    return body;
}

std::optional<URLRequest> MZPostWebService::setUpRequest(std::optional<Error> *error) {
    auto request = createRequest(error);
    if (!request) return std::nullopt;
    request->setHTTPMethod(QByteArrayLiteral("POST"));
    QByteArray boundary;
    const QByteArray body = generateFormData(m_postDic, &boundary);
    request->setValue("multipart/form-data; boundary=" + boundary, "Content-Type");
    request->setValue(QByteArray::number(body.size()), "Content-Length");
    request->setHTTPBody(body);
    if (error) error->reset();
    return request;
}
