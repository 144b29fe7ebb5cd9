#include "fuse/system_log.h"

#include <syslog.h>

#include <cstdarg>
#include <cstdio>

namespace wfsmount {

namespace {

system_log_sink installed_sink = nullptr;

}  // namespace

void system_log(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    if (installed_sink == nullptr) {
        vsyslog(LOG_INFO, format, arguments);
    } else {
        char line[2048];
        vsnprintf(line, sizeof(line), format, arguments);
        installed_sink(line);
    }
    va_end(arguments);
}

void set_system_log_sink(system_log_sink sink)
{
    installed_sink = sink;
}

}  // namespace wfsmount
