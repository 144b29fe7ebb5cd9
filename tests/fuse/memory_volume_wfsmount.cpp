// wfsmount with the memory volume module as its only built-in module, so that
// the real FUSE tests can serve a mount without a wfs volume.

#include "fuse/start_up.h"
#include "tests/fuse/memory_volume.h"

int main(int argc, char** argv)
{
    return wfsmount::run_wfsmount(argc, argv, memory_volume::module_list);
}
