// Reading the stand-in's event log in tests.
#ifndef TIDEWELL_TESTS_EVENTS_H
#define TIDEWELL_TESTS_EVENTS_H

#include <string>
#include <vector>

// The fields of one event ("Kind|a|b|...").
std::vector<std::string> Fields(const std::string& event);
// Every event of one kind, in order.
std::vector<std::string> EventsOf(const std::string& kind);
// The captions of every message box shown, in order.
std::vector<std::string> MessageBoxCaptions();
// Index of the first event that starts with `prefix`, or -1.
int FirstEvent(const std::string& prefix);
// The whole log, one event per line, for failure messages.
std::string EventDump();

#endif  // TIDEWELL_TESTS_EVENTS_H
