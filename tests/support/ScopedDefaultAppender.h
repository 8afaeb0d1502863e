#ifndef ZELT_TESTING_SCOPEDDEFAULTAPPENDER_H
#define ZELT_TESTING_SCOPEDDEFAULTAPPENDER_H

#include "base/Log.h"

// Puts the default logger's appender of the moment back when the object
// ends, whatever was installed meanwhile. The appender given to the
// constructor is installed at once; it must outlive the object.
class ScopedDefaultAppender {
public:
    ScopedDefaultAppender();
    explicit ScopedDefaultAppender(LogAppender& installed);
    ~ScopedDefaultAppender();
    ScopedDefaultAppender(const ScopedDefaultAppender&) = delete;
    ScopedDefaultAppender& operator=(const ScopedDefaultAppender&) = delete;

private:
    LogAppender& saved;
};

#endif  // ZELT_TESTING_SCOPEDDEFAULTAPPENDER_H
