#include "commandline.h"
#include "startup.h"

int main(int argc, char *argv[])
{
    limitAllocatorArenas();
    installCrashHandler();
    if (const std::optional<int> status = answerBeforeStart(argc, argv))
        return *status;
    return runDesk(argc, argv);
}
