#include "gui/app/OvStartup.h"

#include <QByteArray>

// The vendor's minisign public key, given to CMake as OV_UPDATE_PUBLIC_KEY; a build without
// one installs packages unchecked.
#ifndef OV_UPDATE_PUBLIC_KEY
#define OV_UPDATE_PUBLIC_KEY ""
#endif

int main(int argc, char *argv[])
{
    return OvStartup::run(argc, argv, QByteArrayLiteral(OV_UPDATE_PUBLIC_KEY));
}
