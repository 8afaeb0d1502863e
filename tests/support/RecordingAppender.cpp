#include "RecordingAppender.h"

#include <algorithm>
#include <iterator>

void RecordingAppender::append(const LogEvent& event) {
    events.push_back(event);
}

std::vector<LogEvent> RecordingAppender::withLevel(const std::string& levelName) const {
    std::vector<LogEvent> result;
    std::copy_if(events.begin(), events.end(), std::back_inserter(result),
                 [&](const LogEvent& e) { return e.levelName == levelName; });
    return result;
}

bool RecordingAppender::hasMessage(const std::string& message) const {
    return std::any_of(events.begin(), events.end(),
                       [&](const LogEvent& e) { return e.message == message; });
}
