// Stand-in for the platform log library on images without it: each message goes to syslog(3) with its tag and
// priority letter in front. Keeps no state, so it may be called between fork and exec like the real one.
#include <stdio.h>
#include <syslog.h>

#include "android/log.h"

static int toSyslogPriority(int prio) {
    switch (prio) {
        case ANDROID_LOG_VERBOSE:
        case ANDROID_LOG_DEBUG:
            return LOG_DEBUG;
        case ANDROID_LOG_INFO:
            return LOG_INFO;
        case ANDROID_LOG_WARN:
            return LOG_WARNING;
        case ANDROID_LOG_ERROR:
            return LOG_ERR;
        case ANDROID_LOG_FATAL:
            return LOG_CRIT;
        default:
            return LOG_NOTICE;
    }
}

static char priorityLetter(int prio) {
    static const char letters[] = "??VDIWEFS";
    return (prio >= 0 && prio < (int)sizeof letters - 1) ? letters[prio] : '?';
}

int __android_log_vprint(int prio, const char* tag, const char* fmt, va_list ap) {
    char text[4096];
    int length = vsnprintf(text, sizeof text, fmt, ap);
    if (length < 0) {
        return length;
    }
    syslog(LOG_USER | toSyslogPriority(prio), "%s %c %s", tag ? tag : "", priorityLetter(prio), text);
    return length;
}
