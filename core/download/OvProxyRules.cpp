#include "core/download/OvProxyRules.h"

#include <QList>
#include <QNetworkProxy>
#include <QUrl>

namespace {

QByteArray variable(const std::function<QByteArray(const char *)> &env, const char *lower,
                    const char *upper)
{
    const QByteArray value = env(lower).trimmed();
    return value.isEmpty() ? env(upper).trimmed() : value;
}

bool isExempt(const QUrl &url, const QByteArray &noProxy)
{
    const QString host = url.host().toLower();
    const int port = url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
    const QList<QByteArray> entries = noProxy.simplified().replace(' ', ',').split(',');
    for (const QByteArray &item : entries) {
        QString entry = QString::fromLatin1(item).toLower();
        if (entry == QLatin1String("*"))
            return true;
        // "host:port"; an IPv6 address has more than one colon and no port here.
        if (entry.count(QLatin1Char(':')) == 1) {
            if (entry.section(QLatin1Char(':'), 1).toInt() != port)
                continue;
            entry = entry.section(QLatin1Char(':'), 0, 0);
        }
        if (entry.startsWith(QLatin1String("*.")))
            entry.remove(0, 1);
        if (entry.startsWith(QLatin1Char('.')))
            entry.remove(0, 1);
        if (!entry.isEmpty() && (host == entry || host.endsWith(QLatin1Char('.') + entry)))
            return true;
    }
    return false;
}

} // namespace

namespace OvProxyRules {

QNetworkProxy proxyFor(const QUrl &url, const std::function<QByteArray(const char *)> &env)
{
    const QString scheme = url.scheme().toLower();
    const bool isHttps = scheme == QLatin1String("https");
    if ((!isHttps && scheme != QLatin1String("http")) ||
        isExempt(url, variable(env, "no_proxy", "NO_PROXY")))
        return QNetworkProxy(QNetworkProxy::NoProxy);
    QByteArray value = isHttps ? variable(env, "https_proxy", "HTTPS_PROXY")
                               : variable(env, "http_proxy", "HTTP_PROXY");
    if (value.isEmpty())
        return QNetworkProxy(QNetworkProxy::NoProxy);
    if (!value.contains("://"))
        value.prepend("http://");

    const QUrl proxyUrl(QString::fromLocal8Bit(value), QUrl::StrictMode);
    if (!proxyUrl.isValid() || proxyUrl.host().isEmpty() ||
        proxyUrl.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0)
        return QNetworkProxy(QNetworkProxy::NoProxy);
    return QNetworkProxy(QNetworkProxy::HttpProxy, proxyUrl.host(), quint16(proxyUrl.port(1080)),
                         proxyUrl.userName(QUrl::FullyDecoded),
                         proxyUrl.password(QUrl::FullyDecoded));
}

QString describe(const QNetworkProxy &proxy)
{
    if (proxy.type() != QNetworkProxy::HttpProxy)
        return QStringLiteral("none");
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setUserName(proxy.user());
    url.setHost(proxy.hostName());
    url.setPort(proxy.port());
    return url.toString();
}

} // namespace OvProxyRules
