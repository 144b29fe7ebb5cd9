#include "vfs/disk_services.h"

namespace fssh {

bool report_job_progress(disk_job_id, float)
{
    return true;
}

status_code update_partition(partition_id)
{
    return FSSH_OK;
}

}  // namespace fssh
