#ifndef OVSTARTUP_H
#define OVSTARTUP_H

namespace OvStartup {

// The whole run of the updater: application object, elevation, options, language,
// catalogue, style, window, event loop. Returns the process exit code.
int run(int &argc, char **argv);

} // namespace OvStartup

#endif // OVSTARTUP_H
