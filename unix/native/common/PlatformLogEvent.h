#ifndef ZELT_BASE_PLATFORMLOGEVENT_H
#define ZELT_BASE_PLATFORMLOGEVENT_H

// The platform's own part of a log record; this platform adds nothing.
struct PlatformLogEvent {};

#endif  // ZELT_BASE_PLATFORMLOGEVENT_H
