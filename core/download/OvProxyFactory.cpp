#include "core/download/OvProxyFactory.h"

#include "core/download/OvProxyRules.h"

#include <QNetworkProxy>
#include <QUrl>

QList<QNetworkProxy> OvProxyFactory::queryProxy(const QNetworkProxyQuery &query)
{
    return systemProxies(query);
}

QString OvProxyFactory::describe(const QUrl &url)
{
    const QList<QNetworkProxy> proxies = queryProxy(QNetworkProxyQuery(url));
    return OvProxyRules::describe(proxies.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy)
                                                    : proxies.first());
}
