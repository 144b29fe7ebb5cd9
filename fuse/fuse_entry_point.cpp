#include "fuse/fuse_entry_point.h"

namespace wfsmount {

#if FUSE_MAKE_VERSION(FUSE_MAJOR_VERSION, FUSE_MINOR_VERSION) >= FUSE_MAKE_VERSION(3, 17)

int run_fuse_main(fuse_args* args, const fuse_operations* operations)
{
    libfuse_version version = {FUSE_MAJOR_VERSION, FUSE_MINOR_VERSION, FUSE_HOTFIX_VERSION, 0};
    return fuse_main_real_versioned(args->argc, args->argv, operations, sizeof(*operations),
                                    &version, nullptr);
}

#else

int run_fuse_main(fuse_args* args, const fuse_operations* operations)
{
    return fuse_main_real(args->argc, args->argv, operations, sizeof(*operations), nullptr);
}

#endif

}  // namespace wfsmount
