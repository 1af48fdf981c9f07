#pragma once

#include <QUrl>

// Opens a web address in the browser of the person using Velmora. Only http and https
// addresses are opened; anything else opens nothing. Fire and forget: nobody learns
// whether a browser came up.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void openUrl(const QUrl &url) = 0;

    // What an opener opens at all: a valid http or https address with a host.
    static bool isWebAddress(const QUrl &url) {
        const QString scheme = url.scheme();
        return url.isValid() && !url.host().isEmpty() &&
               (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
    }
};
