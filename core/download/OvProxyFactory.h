#ifndef OVPROXYFACTORY_H
#define OVPROXYFACTORY_H

#include <QNetworkProxyFactory>

// The proxies of the system's configuration, for the check and the download alike: on Windows
// the system settings, elsewhere the proxy variables of the environment as OvProxyRules reads
// them. Read at every request, so a changed setting counts from the next one.
class OvProxyFactory : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;

    // The proxy a request for `url` goes through, as a log line may name it (no password).
    QString describe(const QUrl &url);

private:
    static QList<QNetworkProxy> systemProxies(const QNetworkProxyQuery &query);
};

#endif // OVPROXYFACTORY_H
