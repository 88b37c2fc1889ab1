#include "tests/unit/support/events.h"

#include <standin.h>

#include "ui/resource.h"

std::vector<std::string> Fields(const std::string& event) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t bar = event.find('|', start);
    fields.push_back(event.substr(start, bar == std::string::npos ? bar : bar - start));
    if (bar == std::string::npos) return fields;
    start = bar + 1;
  }
}

std::vector<std::string> EventsOf(const std::string& kind) {
  std::vector<std::string> out;
  for (const std::string& event : StandinEvents()) {
    if (event.compare(0, kind.size() + 1, kind + "|") == 0) out.push_back(event);
  }
  return out;
}

std::vector<std::string> MessageBoxCaptions() {
  std::vector<std::string> captions;
  for (const std::string& event : EventsOf("MessageBoxA")) captions.push_back(Fields(event)[1]);
  return captions;
}

int FirstEvent(const std::string& prefix) {
  const std::vector<std::string>& events = StandinEvents();
  for (size_t i = 0; i < events.size(); ++i) {
    if (events[i].compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> DialogProposals() {
  std::vector<std::string> out;
  for (const std::string& event : EventsOf("SetDlgItemTextA")) {
    if (Fields(event)[2] == std::to_string(IDC_DATADIR)) out.push_back(Fields(event)[3]);
  }
  return out;
}

std::string EventDump() {
  std::string out = "events:\n";
  for (const std::string& event : StandinEvents()) out += "  " + event + "\n";
  return out;
}

void RecordProgmanCommands(std::vector<std::string>* commands) {
  StandinRegisterDdeServer("PROGMAN", "PROGMAN", [commands](const unsigned char* data, DWORD) {
    commands->emplace_back(reinterpret_cast<const char*>(data));
    return true;
  });
}

int RunSetup(const std::vector<std::string>& answers) {
  StandinQueueAnswers(answers);
  return WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, const_cast<char*>(""), SW_SHOW);
}
