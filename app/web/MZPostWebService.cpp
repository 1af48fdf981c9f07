#include "web/MZPostWebService.h"

#include "json/NumberType.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QLocale>
#include <QUrl>

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

// 42, 2.5, 1 for true: integers exactly, other numbers as the shortest text that reads back.
QByteArray numberText(const QVariant &number) {
    switch (number.metaType().id()) {
    case QMetaType::Bool:
        return number.toBool() ? "1" : "0";
    case QMetaType::Float:
    case QMetaType::Double:
        return QByteArray::number(number.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QByteArray::number(number.toULongLong());
    default:
        return QByteArray::number(number.toLongLong());
    }
}

FormPart filePart(const QString &key, const QUrl &url) {
    const QString path = url.toLocalFile();
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
