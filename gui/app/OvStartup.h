#ifndef OVSTARTUP_H
#define OVSTARTUP_H

#include <QByteArray>

namespace OvStartup {

// The whole run of the updater: application object, elevation, options, language,
// catalogue, style, window, event loop. Returns the process exit code. `publicKey` is the
// minisign public key (base64 line) that packages must be signed with; empty: no check.
int run(int &argc, char **argv, const QByteArray &publicKey = QByteArray());

} // namespace OvStartup

#endif // OVSTARTUP_H
