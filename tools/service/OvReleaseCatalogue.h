#ifndef OVRELEASECATALOGUE_H
#define OVRELEASECATALOGUE_H

#include "tools/service/OvRelease.h"

#include <QHash>
#include <QObject>
#include <QVector>

class QJsonValue;

// The releases the service can offer, per channel key and optionally per customer code, read
// from a JSON file once at start. Read-only after loading, so the server threads share it.
class OvReleaseCatalogue : public QObject
{
    Q_OBJECT

public:
    enum class Outcome
    {
        Found,
        UnknownKey, // no channel with this key
        NoRelease,  // the channel has nothing for this code (or for queries without one)
    };

    struct Pick
    {
        Outcome outcome = Outcome::UnknownKey;
        OvRelease release;
    };

    explicit OvReleaseCatalogue(QObject *parent = nullptr);

    // Replaces the content with the catalogue in `json`. On a malformed catalogue the content
    // stays as it was and `error` says where the fault is.
    bool load(const QByteArray &json, QString *error);
    bool loadFile(const QString &path, QString *error);

    // The newest release for a query. The candidates are the channel's general releases and,
    // for a non-empty code, the releases listed under that code; on equal versions the
    // code's own release wins.
    Pick pick(qint32 key, const QString &code) const;

    // Every release of every channel and code, for start-up checks of the package files.
    QVector<OvRelease> allReleases() const;

private:
    struct Channel
    {
        QVector<OvRelease> general;
        QHash<QString, QVector<OvRelease>> byCode;
    };

    static bool readReleases(const QJsonValue &value, const QString &where,
                             QVector<OvRelease> *releases, QString *error);
    static bool readRelease(const QJsonValue &value, const QString &where, OvRelease *release,
                            QString *error);

    QHash<qint32, Channel> channels;
};

#endif // OVRELEASECATALOGUE_H
