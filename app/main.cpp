#include "startup.h"

int main(int argc, char *argv[])
{
    limitAllocatorArenas();
    installCrashHandler();
    return runDesk(argc, argv);
}
