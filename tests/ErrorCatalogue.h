#ifndef ZELT_TESTS_ERRORCATALOGUE_H
#define ZELT_TESTS_ERRORCATALOGUE_H

#include <string>
#include <vector>

// The catalogue of failure lines, docs/errors.md, as the tests read it.

// The patterns of the catalogue's rows, in order.
std::vector<std::string> cataloguePatterns();

// The rows (their patterns) that `line` matches; "{name}" in a row stands
// for any text.
std::vector<std::string> matchingRows(const std::string& line);

// The failure line of a run's standard error: its last line that is not a
// record of the trace.
std::string failureLine(const std::string& standardError);

// Adds a test failure unless the failure line of `standardError` is a row of
// the catalogue.
void expectCataloguedFailure(const std::string& standardError);

#endif  // ZELT_TESTS_ERRORCATALOGUE_H
