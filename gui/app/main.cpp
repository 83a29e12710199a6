#include "gui/app/OvStartup.h"

int main(int argc, char *argv[])
{
    return OvStartup::run(argc, argv);
}
