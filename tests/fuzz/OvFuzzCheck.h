#ifndef OVFUZZCHECK_H
#define OVFUZZCHECK_H

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

// What every fuzz target shares: silence (the code under test logs every step, which would
// slow the fuzzer down and bury its report) and a check that ends the run with its reason.
namespace OvFuzzCheck {

inline bool quiet()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return true;
}

inline void require(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

} // namespace OvFuzzCheck

#endif // OVFUZZCHECK_H
