#ifndef ZELT_TESTING_RECORDINGAPPENDER_H
#define ZELT_TESTING_RECORDINGAPPENDER_H

#include <string>
#include <vector>

#include "base/Log.h"

// Keeps every record it receives, in order.
class RecordingAppender : public LogAppender {
public:
    void append(const LogEvent& event) override;

    std::vector<LogEvent> withLevel(const std::string& levelName) const;
    bool hasMessage(const std::string& message) const;

    std::vector<LogEvent> events;
};

#endif  // ZELT_TESTING_RECORDINGAPPENDER_H
