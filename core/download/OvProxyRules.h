#ifndef OVPROXYRULES_H
#define OVPROXYRULES_H

#include <QByteArray>
#include <QString>

#include <functional>

class QNetworkProxy;
class QUrl;

// Which proxy a request goes through, decided from the usual environment variables, without
// asking the system: Qt 5 reads only the lower-case ones and falls back from https to http.
namespace OvProxyRules {

// The proxy for `url`, looking variables up through `env` (empty when unset):
// - no proxy for anything but http and https, nor for a host that "no_proxy" names: a
//   comma-separated list of host names, domains (matching their subdomains, with or without a
//   leading "." or "*."), addresses, each optionally with ":port", or "*" for every host;
// - otherwise "http_proxy" for http and "https_proxy" for https (no fallback between them);
// - lower case before upper case ("NO_PROXY", "HTTP_PROXY", "HTTPS_PROXY");
// - the value is a URL "[http://][user[:password]@]host[:port]" (port 1080 when absent,
//   user and password percent-decoded); any other scheme, or no host, means no proxy.
QNetworkProxy proxyFor(const QUrl &url, const std::function<QByteArray(const char *)> &env);

// "http://user@host:port" or "none": how a log names a proxy, never with its password.
QString describe(const QNetworkProxy &proxy);

} // namespace OvProxyRules

#endif // OVPROXYRULES_H
