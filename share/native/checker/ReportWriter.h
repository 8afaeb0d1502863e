#ifndef ZELT_CHECK_REPORTWRITER_H
#define ZELT_CHECK_REPORTWRITER_H

#include <ostream>

#include "check/CheckReport.h"

// One "name: value" line per field the launcher got to, the argument vector
// one argument per line with its index, then the warnings, the error and the
// status. Every text is shown with escapeUnprintable().
void writeTextReport(std::ostream& out, const CheckReport& report);

// One JSON object on one line; a field the launcher did not get to is null.
// Texts are shown with escapeInvalidUtf8().
void writeJsonReport(std::ostream& out, const CheckReport& report);

#endif  // ZELT_CHECK_REPORTWRITER_H
