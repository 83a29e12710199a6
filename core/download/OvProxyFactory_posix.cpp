#include "core/download/OvProxyFactory.h"
#include "core/download/OvProxyRules.h"

#include <QNetworkProxy>
#include <QUrl>

QList<QNetworkProxy> OvProxyFactory::systemProxies(const QNetworkProxyQuery &query)
{
    return {OvProxyRules::proxyFor(query.url(), [](const char *name) { return qgetenv(name); })};
}
