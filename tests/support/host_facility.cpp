#include "tests/support/host_facility.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace test_support {

bool running_in_ci()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0;
}

bool fuse_available()
{
    int fd = open("/dev/fuse", O_RDWR);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

}  // namespace test_support
