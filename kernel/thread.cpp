#include "kernel/thread.h"

namespace fssh {

thread_id thread_find(const char* name)
{
    return name == nullptr ? MAIN_THREAD_ID : FSSH_NOT_FOUND;
}

thread_id thread_spawn(thread_function /*function*/, const char* /*name*/, int32_t /*priority*/,
                       void* /*argument*/)
{
    return NO_THREAD;
}

status_code thread_wait(thread_id /*thread*/, status_code* /*result*/)
{
    return FSSH_ERROR;
}

status_code thread_resume(thread_id /*thread*/)
{
    return FSSH_INVALID_ARGUMENT;
}

}  // namespace fssh
