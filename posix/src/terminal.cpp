// The terminal side of the stand-in: answer lines from standard input (or
// from the scripted queue), output lines, and message boxes.
#include <cstdio>
#include <cstdlib>
#include <deque>

#include "internal.h"

namespace standin {
namespace {

std::deque<std::string>& Answers() {
  static std::deque<std::string> answers;
  return answers;
}

std::function<void()>& MessageBoxHook() {
  static std::function<void()> hook;
  return hook;
}

bool IsYes(const std::string& line) {
  std::string answer = ToLower(line);
  size_t start = answer.find_first_not_of(" \t");
  size_t end = answer.find_last_not_of(" \t");
  answer = start == std::string::npos ? "" : answer.substr(start, end - start + 1);
  return answer == "y" || answer == "yes";
}

}  // namespace

bool ReadAnswer(std::string* line) {
  if (Scripted()) {
    if (Answers().empty()) return false;
    *line = Answers().front();
    Answers().pop_front();
    return true;
  }
  char* buffer = nullptr;
  size_t capacity = 0;
  ssize_t length = getline(&buffer, &capacity, stdin);
  bool ok = length >= 0;
  if (ok) {
    line->assign(buffer, static_cast<size_t>(length));
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
  }
  free(buffer);
  return ok;
}

void PrintLine(const std::string& line) {
  if (Scripted()) return;
  fwrite(line.data(), 1, line.size(), stdout);
  fputc('\n', stdout);
  fflush(stdout);
}

void QueueAnswer(const std::string& line) {
  Answers().push_back(line);
}

void SetMessageBoxHook(std::function<void()> hook) {
  MessageBoxHook() = std::move(hook);
}

void ClearAnswers() {
  Answers().clear();
  MessageBoxHook() = nullptr;
}

}  // namespace standin

using namespace standin;

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::string title = caption != nullptr ? caption : "Error";
  size_t slot = ReserveEvent();
  bool question = (type & 0xF) == MB_YESNO;
  PrintLine("== " + title + " ==");
  PrintLine(Text(text));
  PrintLine(question ? "[y/n]" : "[OK]");
  // The hook is taken out before it runs, so a box that it opens itself does
  // not run it again.
  std::function<void()> hook = std::move(MessageBoxHook());
  MessageBoxHook() = nullptr;
  if (hook) hook();
  std::string line;
  bool answered = ReadAnswer(&line);
  int result = !question ? IDOK : answered && IsYes(line) ? IDYES : IDNO;
  FillEvent(slot, "MessageBoxA|" + title + "|" + Text(text) + "|" + HexText(type) + "|" +
                      WindowNameOf(owner) + "|" + std::to_string(result));
  return result;
}

void StandinQueueAnswer(const char* line) {
  QueueAnswer(Text(line));
}

void StandinQueueAnswers(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) QueueAnswer(line);
}

void StandinOnNextMessageBox(std::function<void()> hook) {
  SetMessageBoxHook(std::move(hook));
}
