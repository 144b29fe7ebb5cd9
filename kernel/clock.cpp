#include "kernel/clock.h"

#include <cerrno>
#include <ctime>
#include <sys/time.h>
#include <unistd.h>

namespace fssh {

namespace {

constexpr int64_t USECS_PER_SECOND = 1000000;

timeval host_wall_clock()
{
    timeval now;
    gettimeofday(&now, nullptr);
    return now;
}

}  // namespace

int64_t clock_usecs()
{
    timeval now = host_wall_clock();
    return static_cast<int64_t>(now.tv_sec) * USECS_PER_SECOND + now.tv_usec;
}

int64_t wall_clock_usecs()
{
    return clock_usecs();
}

int64_t wall_clock_secs()
{
    return host_wall_clock().tv_sec;
}

int64_t host_time(int64_t* out)
{
    int64_t now = time(nullptr);
    if (out != nullptr)
        *out = now;
    return now;
}

status_code sleep_usecs(int64_t microseconds)
{
    if (microseconds <= 0)
        return FSSH_OK;
    if (microseconds >= USECS_PER_SECOND)
        sleep(static_cast<unsigned int>(microseconds / USECS_PER_SECOND));
    int64_t rest = microseconds % USECS_PER_SECOND;
    if (rest != 0 && usleep(static_cast<useconds_t>(rest)) != 0)
        return host_errno_to_status(errno);
    return FSSH_OK;
}

status_code sleep_until_usecs(int64_t instant, int32_t /*time_base*/)
{
    int64_t now = clock_usecs();
    if (instant <= now)
        return FSSH_OK;
    return sleep_usecs(instant - now);
}

}  // namespace fssh
