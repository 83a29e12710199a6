#include "core/check/OvZentaUpdateInfo.h"

void OvZentaUpdateInfo::clear()
{
    cdt.clear();
    importanceLevel = 2;
    description.clear();
    version.clear();
    url.clear();
    signature.clear();
}
