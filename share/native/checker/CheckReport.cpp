#include "check/CheckReport.h"

int checkStatus(const CheckReport& report) {
    if (!report.errors.empty()) {
        return 1;
    }
    return report.warnings.empty() ? 0 : 2;
}
