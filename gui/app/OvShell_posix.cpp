#include "gui/app/OvShell.h"

// Without the Windows shell there is nothing to elevate through: report rights so that the
// updater always goes on in its own process.
namespace OvShell {

int isUserAnAdmin()
{
    return 1;
}

long long executeRunas(const char *, const char *)
{
    return 0;
}

} // namespace OvShell
