#include "core/download/OvProxyFactory.h"

#include <QNetworkProxy>

QList<QNetworkProxy> OvProxyFactory::systemProxies(const QNetworkProxyQuery &query)
{
    // The settings of the system, automatic configuration included, as Qt reads them there.
    return QNetworkProxyFactory::systemProxyForQuery(query);
}
