#include "update/UpdateCheck.h"

#include "json/CJSONDeserializer.h"
#include "json/CJSONSerializer.h"
#include "platform/UrlOpener.h"
#include "update/VersionComparison.h"
#include "web/MZWebService.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QSettings>

const QString UpdateCheck::InfoKey = QStringLiteral("info");

namespace {

const QString VersionKey = QStringLiteral("version");
const QString DownloadUrlKey = QStringLiteral("downloadurl");

QString tr(const char *text) { return QCoreApplication::translate("UpdateCheck", text); }

// A field as a person reads and edits it: a string as it is, null as nothing, any other
// value as its JSON text.
QString fieldText(const QVariant &value) {
    if (value.typeId() == QMetaType::QString) return value.toString();
    if (value.typeId() == QMetaType::Nullptr) return {};
    return CJSONSerializer::serializer().serializeObject(value);
}

// A key QSettings can hold as one key: not empty, and no group separator in it.
bool fitsAKey(const QString &key) {
    return !key.isEmpty() && !key.contains(u'/') && !key.contains(u'\\');
}

// Replaces the stored document, an earlier binary one included. The two fields the check
// reads are always written, empty where the document lacks them, which reads the same.
void storeInfo(QSettings &settings, const QVariantMap &info) {
    settings.remove(UpdateCheck::InfoKey);
    settings.beginGroup(UpdateCheck::InfoKey);
    for (const QString &key : {VersionKey, DownloadUrlKey}) settings.setValue(key, QString());
    for (auto field = info.cbegin(); field != info.cend(); ++field)
        if (fitsAKey(field.key())) settings.setValue(field.key(), fieldText(field.value()));
    settings.endGroup();
}

// What earlier versions kept may hold any type: only its strings are carried over.
QVariantMap stringFields(const QVariantMap &info) {
    QVariantMap strings;
    for (auto field = info.cbegin(); field != info.cend(); ++field)
        if (field.value().typeId() == QMetaType::QString) strings.insert(field.key(), *field);
    return strings;
}

struct StoredInfo {
    QString version;
    QString downloadUrl;
};

std::optional<StoredInfo> storedInfo() {
    QSettings settings;
    const QVariant earlier = settings.value(UpdateCheck::InfoKey);
    if (earlier.typeId() == QMetaType::QVariantMap)
        storeInfo(settings, stringFields(earlier.toMap()));
    if (!settings.childGroups().contains(UpdateCheck::InfoKey)) return std::nullopt;
    settings.beginGroup(UpdateCheck::InfoKey);
    // An unquoted comma in a hand-edited file makes QSettings read a list.
    const auto text = [&](const QString &key) {
        return settings.value(key).toStringList().join(u',');
    };
    return StoredInfo{text(VersionKey), text(DownloadUrlKey)};
}

QString whyNotOpened(const QUrl &url) {
    if (url.isEmpty()) return tr("Nothing opened: there is no address to open.");
    if (!url.isValid()) return tr("Nothing opened: the address is not a valid one.");
    return tr("Nothing opened: only http and https addresses are opened, not “%1”.")
        .arg(url.toDisplayString());
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
      m_linkNote(outlets.linkNote), m_opener(std::move(opener)), m_addresses(addresses) {
    connect(outlets.updateButton, &QAbstractButton::clicked, this, &UpdateCheck::updateClick);
    connect(outlets.homeButton, &QAbstractButton::clicked, this, &UpdateCheck::homeClick);
    connect(outlets.weiboButton, &QAbstractButton::clicked, this, &UpdateCheck::weiboClick);
}

UpdateCheck::~UpdateCheck() = default;

void UpdateCheck::updateCheck() {
    const QString current = QCoreApplication::applicationVersion();
    QString text = versionLabelText(current, {});
    if (const auto info = storedInfo()) {
        m_updateUrl = info->downloadUrl;
        const bool newer = isNewerVersion(current, info->version);
        if (newer) text = versionLabelText(current, info->version);
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
    storeInfo(settings, *info);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qInfo("could not write the update information to %s", qPrintable(settings.fileName()));
    updateCheck();
}

void UpdateCheck::homeClick() { open(m_addresses.home); }

void UpdateCheck::weiboClick() { open(m_addresses.weibo); }

void UpdateCheck::updateClick() { open(QUrl(m_updateUrl, QUrl::StrictMode)); }

void UpdateCheck::open(const QUrl &url) {
    const bool web = UrlOpener::isWebAddress(url);
    if (m_linkNote) {
        m_linkNote->setText(web ? QString() : whyNotOpened(url));
        m_linkNote->setVisible(!web);
    }
    if (m_opener && web) m_opener->openUrl(url);
}
