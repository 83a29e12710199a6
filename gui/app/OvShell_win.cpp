#include "gui/app/OvShell.h"

#include <shlobj.h>
#include <windows.h>

#include <shellapi.h>

namespace OvShell {

int isUserAnAdmin()
{
    return IsUserAnAdmin() ? 1 : 0;
}

long long executeRunas(const char *file, const char *parameters)
{
    HINSTANCE result = ShellExecuteA(nullptr, "runas", file, parameters, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result);
}

} // namespace OvShell
