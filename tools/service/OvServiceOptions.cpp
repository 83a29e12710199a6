#include "tools/service/OvServiceOptions.h"

#include "tools/service/OvUpgradeProtocol.h"

#include <QDir>
#include <QFileInfo>

namespace {

bool readNumber(const QString &name, const QString &text, qint64 min, qint64 max, qint64 *value,
                QString *error)
{
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    if (!ok || number < min || number > max) {
        *error = QStringLiteral("%1 needs a whole number from %2 to %3, not \"%4\"")
                     .arg(name)
                     .arg(min)
                     .arg(max)
                     .arg(text);
        return false;
    }
    *value = number;
    return true;
}

} // namespace

bool OvServiceOptions::parse(const QStringList &args, OvServiceOptions *options, QString *error)
{
    OvServiceOptions o;
    constexpr qint64 kLarge = Q_INT64_C(1) << 40;
    for (int i = 0; i < args.size(); ++i) {
        const QString &name = args.at(i);
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            o.showHelp = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            *error = name.startsWith(QLatin1String("--"))
                         ? QStringLiteral("%1 needs a value").arg(name)
                         : QStringLiteral("unknown argument \"%1\"").arg(name);
            return false;
        }
        const QString value = args.at(++i);
        qint64 number = 0;
        bool ok = true;
        if (name == QLatin1String("--catalogue")) {
            o.cataloguePath = value;
        } else if (name == QLatin1String("--packages")) {
            o.packagesDir = value;
        } else if (name == QLatin1String("--host")) {
            o.host = value;
        } else if (name == QLatin1String("--port")) {
            ok = readNumber(name, value, 0, 65535, &number, error);
            o.port = static_cast<int>(number);
        } else if (name == QLatin1String("--path")) {
            o.queryPath = value;
        } else if (name == QLatin1String("--cert")) {
            o.certPath = value;
        } else if (name == QLatin1String("--key")) {
            o.keyPath = value;
        } else if (name == QLatin1String("--base-url")) {
            o.baseUrl = value;
        } else if (name == QLatin1String("--delay-ms")) {
            ok = readNumber(name, value, 0, 3600 * 1000, &o.delayMs, error);
        } else if (name == QLatin1String("--throttle")) {
            ok = readNumber(name, value, 0, kLarge, &o.throttle, error);
        } else if (name == QLatin1String("--cut-after")) {
            ok = readNumber(name, value, 0, kLarge, &o.cutAfter, error);
        } else {
            *error = QStringLiteral("unknown option \"%1\"").arg(name);
            return false;
        }
        if (!ok)
            return false;
    }
    if (o.showHelp) {
        *options = o;
        return true;
    }
    if (o.cataloguePath.isEmpty()) {
        *error = QStringLiteral("--catalogue is required");
        return false;
    }
    if (o.certPath.isEmpty() != o.keyPath.isEmpty()) {
        *error = QStringLiteral("--cert and --key go together");
        return false;
    }
    if (!o.queryPath.startsWith(QLatin1Char('/'))) {
        *error = QStringLiteral("--path must begin with \"/\"");
        return false;
    }
    if (!o.baseUrl.isEmpty() && !OvUpgradeProtocol::isAbsoluteUrl(o.baseUrl)) {
        *error = QStringLiteral("--base-url must be an http or https URL");
        return false;
    }
    if (o.packagesDir.isEmpty())
        o.packagesDir = QFileInfo(o.cataloguePath).dir().filePath(QStringLiteral("packages"));
    *options = o;
    return true;
}

QString OvServiceOptions::usage()
{
    return QStringLiteral(
        "Usage: OvUpgradeService --catalogue FILE [options]\n"
        "  --catalogue FILE   release catalogue (JSON)\n"
        "  --packages DIR     package files, served under /packages/ (default: packages\n"
        "                     beside the catalogue)\n"
        "  --host ADDRESS     address to listen on (default 127.0.0.1)\n"
        "  --port N           port to listen on; 0 lets the system choose (default 0)\n"
        "  --path PATH        path of the upgrade query (default /check)\n"
        "  --cert FILE        PEM certificate; with --key the service speaks HTTPS\n"
        "  --key FILE         PEM private key\n"
        "  --base-url URL     address under which clients reach this service, for package\n"
        "                     URLs (default: scheme and Host header of each query)\n"
        "  --delay-ms N       wait N ms before every query answer\n"
        "  --throttle BYTES   limit each package transfer to BYTES per second\n"
        "  --cut-after N      close each package transfer after N bytes\n"
        "  --help             this text\n"
        "Prints \"listening on URL\" on stdout once ready; logs each request on stderr.\n");
}
