#ifndef ZELT_LAUNCH_APP_H
#define ZELT_LAUNCH_APP_H

#include <new>
#include <string>

class LogAppender;

// The program's one error boundary.
namespace app {

// Runs `func` with the log destination that ZELT_DEBUG selects. A failure is
// reported as one ERROR record that reaches both the chosen appender and
// `lastErrorLogAppender` (the default one when null), and gives status 1;
// nothing escapes. A normal return gives 0.
int launch(const std::nothrow_t&, void (*func)(), LogAppender* lastErrorLogAppender);

// True when ZELT_DEBUG is exactly "true".
bool isWithLogging();

// Writes app::lastErrorMsg() as one line on the standard error stream for
// every record it receives.
LogAppender& defaultLastErrorLogAppender();

// The message of the failure being handled by launch(); empty otherwise.
std::string lastErrorMsg();

}  // namespace app

#endif  // ZELT_LAUNCH_APP_H
