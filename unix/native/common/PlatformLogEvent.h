#ifndef PLATFORMLOGEVENT_H
#define PLATFORMLOGEVENT_H

// The platform's own part of a log record; this platform adds nothing.
struct PlatformLogEvent {};

#endif  // PLATFORMLOGEVENT_H
