#include "tools/service/OvReleaseCatalogue.h"

#include "core/check/OvJsonNumber.h"
#include "core/suite/OvVersion.h"
#include "tools/service/OvPackageStore.h"
#include "tools/service/OvUpgradeProtocol.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QRegularExpression>

#include <limits>

namespace {

bool fail(QString *error, const QString &where, const QString &what)
{
    *error = where + QStringLiteral(": ") + what;
    return false;
}

// An optional text member: absent gives an empty text, any other type is a fault.
bool readText(const QJsonObject &object, const QString &name, const QString &where, QString *text,
              QString *error)
{
    const QJsonValue value = object.value(name);
    if (value.isUndefined())
        return true;
    if (!value.isString())
        return fail(error, where, QStringLiteral("\"%1\" must be a string").arg(name));
    *text = value.toString();
    return true;
}

// Dotted decimal numbers the updater can read: it compares the parts as 64-bit integers, and
// a part too long for that would count as 0 there while looking newest here.
bool isReleaseVersion(const QString &version)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{1,18}(\\.[0-9]{1,18})*$"));
    return pattern.match(version).hasMatch();
}

} // namespace

OvReleaseCatalogue::OvReleaseCatalogue(QObject *parent) : QObject(parent) {}

bool OvReleaseCatalogue::loadFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    if (!load(file.readAll(), error)) {
        *error = path + QStringLiteral(": ") + *error;
        return false;
    }
    return true;
}

bool OvReleaseCatalogue::load(const QByteArray &json, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(error, QStringLiteral("offset %1").arg(parseError.offset),
                    parseError.errorString());
    const QJsonValue list = doc.object().value(QStringLiteral("channels"));
    if (!doc.isObject() || !list.isArray())
        return fail(error, QStringLiteral("catalogue"),
                    QStringLiteral("must be an object with a \"channels\" array"));

    QHash<qint32, Channel> loaded;
    const QJsonArray channelArray = list.toArray();
    for (int i = 0; i < channelArray.size(); ++i) {
        const QString where = QStringLiteral("channels[%1]").arg(i);
        if (!channelArray.at(i).isObject())
            return fail(error, where, QStringLiteral("must be an object"));
        const QJsonObject object = channelArray.at(i).toObject();

        qint64 key = 0;
        if (!OvJsonNumber::wholeNumber(object.value(QStringLiteral("key")),
                                       std::numeric_limits<qint32>::min(),
                                       std::numeric_limits<qint32>::max(), &key))
            return fail(error, where, QStringLiteral("\"key\" must be a 32-bit integer"));
        if (loaded.contains(static_cast<qint32>(key)))
            return fail(error, where, QStringLiteral("key %1 is listed twice").arg(key));

        Channel channel;
        const QJsonValue releases = object.value(QStringLiteral("releases"));
        if (!releases.isUndefined() &&
            !readReleases(releases, where + QStringLiteral(".releases"), &channel.general, error))
            return false;

        const QJsonValue codes = object.value(QStringLiteral("codes"));
        if (!codes.isUndefined() && !codes.isObject())
            return fail(error, where, QStringLiteral("\"codes\" must be an object"));
        const QJsonObject codeObject = codes.toObject();
        for (auto it = codeObject.begin(); it != codeObject.end(); ++it) {
            if (it.key().isEmpty())
                return fail(error, where, QStringLiteral("a code must not be empty"));
            const QString codeWhere = where + QStringLiteral(".codes.") + it.key();
            if (!readReleases(it.value(), codeWhere, &channel.byCode[it.key()], error))
                return false;
        }
        loaded.insert(static_cast<qint32>(key), channel);
    }
    channels = loaded;
    return true;
}

bool OvReleaseCatalogue::readReleases(const QJsonValue &value, const QString &where,
                                      QVector<OvRelease> *releases, QString *error)
{
    if (!value.isArray())
        return fail(error, where, QStringLiteral("must be an array of releases"));
    const QJsonArray array = value.toArray();
    for (int i = 0; i < array.size(); ++i) {
        OvRelease release;
        const QString releaseWhere = where + QStringLiteral("[%1]").arg(i);
        if (!readRelease(array.at(i), releaseWhere, &release, error))
            return false;
        for (const OvRelease &earlier : *releases) {
            if (!OvVersion::isNewer(earlier.version, release.version) &&
                !OvVersion::isNewer(release.version, earlier.version))
                return fail(error, releaseWhere,
                            QStringLiteral("version %1 is listed twice").arg(release.version));
        }
        releases->append(release);
    }
    return true;
}

bool OvReleaseCatalogue::readRelease(const QJsonValue &value, const QString &where,
                                     OvRelease *release, QString *error)
{
    if (!value.isObject())
        return fail(error, where, QStringLiteral("must be an object"));
    const QJsonObject object = value.toObject();

    const QJsonValue version = object.value(QStringLiteral("version"));
    if (!version.isString() || !isReleaseVersion(version.toString()))
        return fail(error, where,
                    QStringLiteral("\"version\" must be a dotted number such as \"1.10\", "
                                   "at most 18 digits a part"));
    release->version = version.toString();

    const QJsonValue package = object.value(QStringLiteral("package"));
    const QString packageText = package.toString();
    if (!package.isString() || (!OvUpgradeProtocol::isAbsoluteUrl(packageText) &&
                                !OvPackageStore::isSafeFileName(packageText)))
        return fail(error, where,
                    QStringLiteral("\"package\" must be a bare file name or an http(s) URL"));
    release->package = packageText;

    if (!readText(object, QStringLiteral("description"), where, &release->description, error) ||
        !readText(object, QStringLiteral("cdt"), where, &release->cdt, error) ||
        !readText(object, QStringLiteral("signature"), where, &release->signature, error))
        return false;

    const QJsonValue level = object.value(QStringLiteral("importanceLevel"));
    if (!level.isUndefined() &&
        !OvJsonNumber::wholeNumber(level, 0, std::numeric_limits<qint32>::max(),
                                   &release->importanceLevel))
        return fail(error, where,
                    QStringLiteral("\"importanceLevel\" must be a non-negative integer"));
    return true;
}

OvReleaseCatalogue::Pick OvReleaseCatalogue::pick(qint32 key, const QString &code) const
{
    Pick result;
    const auto channel = channels.constFind(key);
    if (channel == channels.constEnd())
        return result;

    // The code's own releases go first, so that only a strictly newer general release can
    // take their place.
    QVector<OvRelease> candidates;
    if (!code.isEmpty())
        candidates = channel->byCode.value(code);
    candidates += channel->general;

    result.outcome = Outcome::NoRelease;
    for (const OvRelease &release : qAsConst(candidates)) {
        if (result.outcome == Outcome::NoRelease ||
            OvVersion::isNewer(release.version, result.release.version)) {
            result.outcome = Outcome::Found;
            result.release = release;
        }
    }
    return result;
}

QVector<OvRelease> OvReleaseCatalogue::allReleases() const
{
    QVector<OvRelease> all;
    for (const Channel &channel : channels) {
        all += channel.general;
        for (const QVector<OvRelease> &releases : channel.byCode)
            all += releases;
    }
    return all;
}
