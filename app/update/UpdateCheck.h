#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class QAbstractButton;
class QLabel;
class UrlOpener;

// The main window's version label, update button and link buttons. Shows Velmora's
// version and, when the update-information document announces a newer one, that one too
// with the button that opens its download address. The last document received is kept in
// the application's settings as text, one field a line in the group InfoKey, so the label
// is right before the network answers (a document earlier versions kept as one binary
// value under that key is read once and rewritten). An address that cannot be opened is
// said in the link note. Lives on the main thread; the widgets belong to the window, the
// opener to this object, and a request still under way when this object goes reports to
// nobody.
class UpdateCheck : public QObject {
    Q_OBJECT
public:
    static const QString InfoKey;
    // Longer answers are not update information.
    static constexpr qint64 MaximumInfoSize = 1024 * 1024;

    struct Outlets {
        QLabel *versionFiled;
        QAbstractButton *updateButton;
        QAbstractButton *homeButton;
        QAbstractButton *weiboButton;
        // Says why a button opened nothing; hidden while there is nothing to say.
        QLabel *linkNote = nullptr;
    };
    struct Addresses {
        QUrl endpoint;
        QUrl home;
        QUrl weibo;
        // The addresses Velmora was built with; VELMORA_UPDATE_ENDPOINT in the environment
        // replaces the endpoint.
        static Addresses builtIn();
    };

    // Connects the three buttons.
    UpdateCheck(const Outlets &outlets, std::unique_ptr<UrlOpener> opener,
                const Addresses &addresses, QObject *parent = nullptr);
    ~UpdateCheck() override;

    // Fills the label and shows or hides the update button from the stored document.
    void updateCheck();
    // Asks the endpoint for a new document; didReceiveInfo gets the answer.
    void startRequest();
    // Stores a body that is a JSON object and checks again; anything else is ignored.
    void didReceiveInfo(const std::optional<QByteArray> &data);

    void homeClick();
    void weiboClick();
    void updateClick();

    // The download address of the last stored document read; null before one was read.
    const QString &updateUrl() const { return m_updateUrl; }

private:
    void open(const QUrl &url);

    QPointer<QLabel> m_versionFiled;
    QPointer<QAbstractButton> m_updateButton;
    QPointer<QLabel> m_linkNote;
    std::unique_ptr<UrlOpener> m_opener;
    Addresses m_addresses;
    QString m_updateUrl;
};
