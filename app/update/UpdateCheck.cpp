#include "update/UpdateCheck.h"

#include "json/CJSONDeserializer.h"
#include "platform/UrlOpener.h"
#include "update/VersionComparison.h"
#include "web/MZWebService.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QSettings>

const QString UpdateCheck::InfoKey = QStringLiteral("info");

namespace {

// A string under key, or a null string for anything else: a number is no version.
QString stringValue(const QVariantMap &info, const QString &key) {
    const QVariant value = info.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

}  // namespace

UpdateCheck::Addresses UpdateCheck::Addresses::builtIn() {
    const QString endpoint = qEnvironmentVariable("VELMORA_UPDATE_ENDPOINT");
    return {QUrl(endpoint.isEmpty() ? QStringLiteral(VELMORA_UPDATE_ENDPOINT) : endpoint),
            QUrl(QStringLiteral(VELMORA_HOME_URL)), QUrl(QStringLiteral(VELMORA_WEIBO_URL))};
}

UpdateCheck::UpdateCheck(const Outlets &outlets, std::unique_ptr<UrlOpener> opener,
                         const Addresses &addresses, QObject *parent)
    : QObject(parent), m_versionFiled(outlets.versionFiled), m_updateButton(outlets.updateButton),
      m_opener(std::move(opener)), m_addresses(addresses) {
    connect(outlets.updateButton, &QAbstractButton::clicked, this, &UpdateCheck::updateClick);
    connect(outlets.homeButton, &QAbstractButton::clicked, this, &UpdateCheck::homeClick);
    connect(outlets.weiboButton, &QAbstractButton::clicked, this, &UpdateCheck::weiboClick);
}

UpdateCheck::~UpdateCheck() = default;

std::optional<QVariantMap> UpdateCheck::storedInfo() {
    const QVariant info = QSettings().value(InfoKey);
    if (info.typeId() != QMetaType::QVariantMap) return std::nullopt;
    return info.toMap();
}

void UpdateCheck::updateCheck() {
    const QString current = QCoreApplication::applicationVersion();
    QString text = versionLabelText(current, {});
    if (const auto info = storedInfo()) {
        m_updateUrl = stringValue(*info, QStringLiteral("downloadurl"));
        const QString latest = stringValue(*info, QStringLiteral("version"));
        const bool newer = isNewerVersion(current, latest);
        if (newer) text = versionLabelText(current, latest);
        if (m_updateButton) m_updateButton->setVisible(newer);
    }
    if (m_versionFiled) m_versionFiled->setText(text);
    const bool shown = m_updateButton && !m_updateButton->isHidden();
    qInfo("version label: %s%s", qUtf8Printable(text), shown ? " (update button shown)" : "");
}

void UpdateCheck::startRequest() {
    auto service = std::make_shared<MZWebService>();
    service->setUrl(m_addresses.endpoint);
    service->setMaximumBodySize(MaximumInfoSize);
    service->startWithHandler(
        [self = QPointer<UpdateCheck>(this)](const auto &, const auto &, const auto &data) {
            if (self) self->didReceiveInfo(data);
        });
}

void UpdateCheck::didReceiveInfo(const std::optional<QByteArray> &data) {
    if (!data) return;
    const auto info = CJSONDeserializer::deserializer().deserializeAsDictionary(*data);
    if (!info) return;
    QSettings settings;
    settings.setValue(InfoKey, *info);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qInfo("could not write the update information to %s", qPrintable(settings.fileName()));
    updateCheck();
}

void UpdateCheck::homeClick() { open(m_addresses.home); }

void UpdateCheck::weiboClick() { open(m_addresses.weibo); }

void UpdateCheck::updateClick() { open(QUrl(m_updateUrl, QUrl::StrictMode)); }

void UpdateCheck::open(const QUrl &url) {
    if (m_opener && url.isValid()) m_opener->openUrl(url);
}
