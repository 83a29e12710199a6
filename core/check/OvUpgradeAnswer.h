#ifndef OVUPGRADEANSWER_H
#define OVUPGRADEANSWER_H

#include "core/check/OvZentaUpdateInfo.h"

#include <QString>

class QByteArray;

// What one answer of the upgrade query service says: an offer, or why there is none. Reading
// it needs no network, so every shape of answer can be tried directly.
class OvUpgradeAnswer
{
public:
    enum class Error
    {
        None,
        TimedOut,   // no answer within the check's time
        Network,    // refused, unreachable, TLS or HTTP error
        EmptyBody,  // an answer without a byte
        NotJson,    // not JSON, or not an object at the top
        NoStatus,   // no "status"
        NoMessage,  // no "message"
        NotSuccess, // "status" is not 200
        NoData,     // no "data", or not a non-empty object
        TooLarge,   // more than an answer can hold; no query answer is that long
    };

    static OvUpgradeAnswer parse(const QByteArray &body);
    static OvUpgradeAnswer failure(Error error, const QString &reason);

    bool isOffer() const { return error == Error::None; }

    Error error = Error::None;
    // Why there is no offer, in words for a log; empty for an offer.
    QString errorString;
    OvZentaUpdateInfo record;
    // The envelope as read, for the log line of a refused query.
    qint64 status = 0;
    QString message;
};

#endif // OVUPGRADEANSWER_H
