#ifndef OVUPGRADEPROTOCOL_H
#define OVUPGRADEPROTOCOL_H

#include "tools/service/OvRelease.h"

#include <QByteArray>
#include <QString>

// What the updater posts.
struct OvUpgradeQuery
{
    qint32 key = -1;
    QString code; // empty when the query carried none
};

// The wire format between the updater and the service: the query it posts and the envelope
// {"status","message","data"} it expects back, plus the small checks around them.
namespace OvUpgradeProtocol {

// Bodies above this size are refused before they are parsed.
constexpr int kMaxQueryBytes = 64 * 1024;

// Reads {"code":"abc","key":3} or {"key":3}. Other members are ignored. On a bad body
// returns false and a short reason fit to send back to the client.
bool parseQuery(const QByteArray &body, OvUpgradeQuery *query, QString *error);

// {"status":200,"message":"ok","data":{...}} offering `release` at `packageUrl`; a non-empty
// `signature` (the package's .minisig text) goes base64-encoded into "data"."signature".
QByteArray answer(const OvRelease &release, const QString &packageUrl,
                  const QByteArray &signature = QByteArray());

// {"status":<status>,"message":<message>}
QByteArray failure(int status, const QString &message);

// An http or https URL with a host: a package stored elsewhere, offered as it stands.
bool isAbsoluteUrl(const QString &package);

// The address of `package`: an absolute URL unchanged, else a file under `baseUrl` (for
// example "https://updates.example.com") + "/packages/" + the name, percent-encoded.
QString packageUrl(const QString &baseUrl, const QString &package);

// A Host header fit to build a URL from: a name, IPv4 or bracketed IPv6 address, with an
// optional port. Anything else (spaces, "/", "@", an empty text) is not used.
bool isUsableHost(const QString &host);

// `text` as one field of a log line: blanks, backslashes and bytes outside printable ASCII
// written as \xNN, so that a request path can neither break nor forge log lines.
QString logSafe(const QByteArray &text);

} // namespace OvUpgradeProtocol

#endif // OVUPGRADEPROTOCOL_H
