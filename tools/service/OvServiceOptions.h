#ifndef OVSERVICEOPTIONS_H
#define OVSERVICEOPTIONS_H

#include <QString>
#include <QStringList>

// The command line of the upgrade service. Every option is "--name value", in any order.
struct OvServiceOptions
{
    QString cataloguePath; // --catalogue FILE (required)
    QString packagesDir;   // --packages DIR, default: "packages" beside the catalogue
    QString host = QStringLiteral("127.0.0.1");
    int port = 0; // 0: the system chooses one
    QString queryPath = QStringLiteral("/check");
    QString certPath; // --cert and --key together switch to HTTPS
    QString keyPath;
    QString baseUrl;      // where clients reach the packages; default: the request's Host
    qint64 delayMs = 0;   // wait before every query answer
    qint64 throttle = 0;  // package bytes per second, 0 for no limit
    qint64 cutAfter = -1; // close a package transfer after so many bytes, -1 for never
    bool showHelp = false;

    // Reads `args` (without the program name). On a fault returns false with the reason.
    static bool parse(const QStringList &args, OvServiceOptions *options, QString *error);
    static QString usage();
};

#endif // OVSERVICEOPTIONS_H
