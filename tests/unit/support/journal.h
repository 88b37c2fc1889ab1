// Staging journals made by hand, record by record, in the layout that a
// setup run writes (payload/staging.h): for tests of what settling does
// with what a killed run, a power cut or someone else left.
#ifndef TIDEWELL_TESTS_JOURNAL_H
#define TIDEWELL_TESTS_JOURNAL_H

#include <string>

#include "payload/staging.h"

struct TestJournal {
  // Starts a journal for the staging folder at the POSIX path `folder`.
  explicit TestJournal(const std::string& folder);
  // Adds a record; `path`, when given, names the file whose index the
  // record holds.
  TestJournal& Add(char tag, const std::string& name, const std::string& path = "",
                   unsigned value = 0, const std::string& data = "");
  // Writes the journal into its folder, made when missing.
  void Save() const;

  std::string folder;
  JournalHeader header{};
  std::string bytes;
};

#endif  // TIDEWELL_TESTS_JOURNAL_H
