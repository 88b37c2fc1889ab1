// Reading the stand-in's event log in tests, and running the program over it.
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
// The texts the data directory dialog showed in its edit field when it
// opened, one per time it was shown.
std::vector<std::string> DialogProposals();
// The whole log, one event per line, for failure messages.
std::string EventDump();

// Registers a Program Manager that accepts every command and records its text.
void RecordProgmanCommands(std::vector<std::string>* commands);
// Queues the answers and runs the whole program once; returns its exit code.
int RunSetup(const std::vector<std::string>& answers);

#endif  // TIDEWELL_TESTS_EVENTS_H
