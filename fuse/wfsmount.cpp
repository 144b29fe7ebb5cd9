// Entry point of wfsmount: mounts a wfs volume through FUSE.

#include "fuse/builtin_modules.h"
#include "fuse/start_up.h"

int main(int argc, char** argv)
{
    return wfsmount::run_wfsmount(argc, argv, wfsmount::builtin_modules);
}
