// Dialog windows made from the compiled templates: modeless ones drawn on
// the terminal when they become visible, and modal ones driven by answer
// lines until the dialog procedure ends them.
#include <cstring>

#include "dialog_templates.h"
#include "internal.h"

namespace standin {
namespace {

bool gFailNextDialog = false;

// Resource names are integer resources; named templates are not used.
const DialogTemplate* FindTemplate(LPCSTR name) {
  uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (id == 0 || id > 0xFFFF) return nullptr;
  for (const DialogTemplate* t = kDialogTemplates; t->id != 0; ++t) {
    if (static_cast<uintptr_t>(t->id) == id) return t;
  }
  return nullptr;
}

bool HasClass(const Control& control, const char* className) {
  return EqualNoCase(control.className, className);
}

Control* FindControl(Window* dialog, int id) {
  if (dialog == nullptr) return nullptr;
  for (Control& control : dialog->controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

Window* NewDialog(const DialogTemplate& t, DLGPROC proc, bool modal) {
  Window* dialog = NewWindow(t.caption, CurrentProcessId());
  dialog->isDialog = true;
  dialog->resourceId = t.id;
  dialog->style = t.style;
  dialog->proc = proc;
  dialog->modal = modal;
  for (int i = 0; i < t.controlCount; ++i) {
    const DialogControlTemplate& c = t.controls[i];
    dialog->controls.push_back({c.id, c.className, c.style, c.text, nullptr});
  }
  // Handles are made once the vector no longer grows.
  for (size_t i = 0; i < dialog->controls.size(); ++i) {
    dialog->controls[i].handle = NewControlHandle(dialog, i);
  }
  return dialog;
}

void PrintStatics(const Window& dialog) {
  PrintLine("== " + dialog.title + " ==");
  for (const Control& control : dialog.controls) {
    if (HasClass(control, "STATIC") && !control.text.empty()) PrintLine(control.text);
  }
}

// A modeless dialog is drawn once, the first time it becomes visible.
void ShowOnTerminal(Window* dialog) {
  dialog->visible = true;
  if (dialog->modal || dialog->shownOnTerminal) return;
  dialog->shownOnTerminal = true;
  PrintStatics(*dialog);
}

void PrintModalPrompt(const Window& dialog) {
  PrintStatics(dialog);
  for (const Control& control : dialog.controls) {
    if (HasClass(control, "EDIT")) PrintLine("> " + control.text);
  }
  PrintLine("[Enter: OK | new text: replace and OK | :clear | :cancel]");
}

void Press(Window* dialog, int id) {
  Control* button = FindControl(dialog, id);
  LPARAM lParam = button != nullptr ? reinterpret_cast<LPARAM>(button->handle) : 0;
  // BN_CLICKED is 0, so wParam is the id alone.
  dialog->proc(dialog->handle, WM_COMMAND, static_cast<WPARAM>(id), lParam);
}

// Runs the answer loop of a modal dialog until its procedure ends it. At the
// end of input Cancel is pressed once; a procedure that does not end the
// dialog then gets result 0.
INT_PTR RunModal(Window* dialog) {
  bool cancelledAtEnd = false;
  while (!dialog->ended) {
    PrintModalPrompt(*dialog);
    std::string line;
    if (!ReadAnswer(&line)) {
      if (cancelledAtEnd) return 0;
      cancelledAtEnd = true;
      Press(dialog, IDCANCEL);
      continue;
    }
    if (line == ":cancel") {
      Press(dialog, IDCANCEL);
      continue;
    }
    Control* edit = nullptr;
    for (Control& control : dialog->controls) {
      if (edit == nullptr && HasClass(control, "EDIT")) edit = &control;
    }
    if (edit != nullptr && line == ":clear") {
      edit->text.clear();
    } else if (edit != nullptr && !line.empty()) {
      edit->text = line;
    }
    Press(dialog, IDOK);
  }
  return dialog->endResult;
}

}  // namespace
}  // namespace standin

using namespace standin;

HWND CreateDialogParamA(HINSTANCE /*instance*/, LPCSTR templateName, HWND /*parent*/, DLGPROC proc,
                        LPARAM initParam) {
  const DialogTemplate* t = FindTemplate(templateName);
  std::string resource = std::to_string(reinterpret_cast<uintptr_t>(templateName));
  if (t == nullptr || proc == nullptr) {
    LogEvent("CreateDialogParamA|" + resource + "|0");
    return nullptr;
  }
  Window* dialog = NewDialog(*t, proc, false);
  HWND handle = dialog->handle;
  LogEvent("CreateDialogParamA|" + resource + "|" + WindowNameOf(handle));
  proc(handle, WM_INITDIALOG, 0, initParam);
  if (LookupWindow(handle) != nullptr && (dialog->style & WS_VISIBLE) != 0) ShowOnTerminal(dialog);
  return handle;
}

INT_PTR DialogBoxParamA(HINSTANCE /*instance*/, LPCSTR templateName, HWND /*parent*/, DLGPROC proc,
                        LPARAM initParam) {
  std::string prefix =
      "DialogBoxParamA|" + std::to_string(reinterpret_cast<uintptr_t>(templateName));
  const DialogTemplate* t = FindTemplate(templateName);
  bool fail = gFailNextDialog || t == nullptr || proc == nullptr;
  gFailNextDialog = false;
  if (fail) {
    LogEvent(prefix + "|-1");
    return -1;
  }
  size_t slot = ReserveEvent();
  Window* dialog = NewDialog(*t, proc, true);
  dialog->visible = true;
  proc(dialog->handle, WM_INITDIALOG, 0, initParam);
  INT_PTR result = RunModal(dialog);
  dialog->exists = false;
  dialog->visible = false;
  FillEvent(slot, prefix + "|" + std::to_string(result));
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  Window* w = LookupWindow(dialog);
  if (w == nullptr) return FALSE;
  LogEvent("EndDialog|" + WindowNameOf(dialog) + "|" + std::to_string(result));
  if (w->modal) {
    // As on Windows, a second EndDialog before the loop returns replaces the
    // result of the first.
    w->ended = true;
    w->endResult = result;
  }
  return TRUE;
}

BOOL DestroyWindow(HWND window) {
  Window* w = LookupWindow(window);
  if (w == nullptr) return FALSE;
  LogEvent("DestroyWindow|" + WindowNameOf(window));
  w->exists = false;
  w->visible = false;
  w->ended = true;  // a modal loop on this window stops
  return TRUE;
}

BOOL ShowWindow(HWND window, int showCommand) {
  Window* w = LookupWindow(window);
  if (w == nullptr) return FALSE;
  LogEvent("ShowWindow|" + WindowNameOf(window) + "|" + std::to_string(showCommand));
  BOOL wasVisible = w->visible ? TRUE : FALSE;
  if (showCommand == SW_HIDE) {
    w->visible = false;
  } else if (w->isDialog) {
    ShowOnTerminal(w);
  } else {
    w->visible = true;
  }
  return wasVisible;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  Window* w = LookupWindow(dialog);
  if (w == nullptr) return FALSE;
  LogEvent("SetDlgItemTextA|" + WindowNameOf(dialog) + "|" + std::to_string(id) + "|" + Text(text));
  Control* control = FindControl(w, id);
  if (control == nullptr) return FALSE;
  control->text = Text(text);
  if (w->visible && !w->modal && HasClass(*control, "STATIC")) PrintLine(control->text);
  return TRUE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size) {
  if (text == nullptr || size <= 0) return 0;
  Control* control = FindControl(LookupWindow(dialog), id);
  return static_cast<UINT>(
      CopyCut(control != nullptr ? control->text : "", text, static_cast<size_t>(size)));
}

HWND GetDlgItem(HWND dialog, int id) {
  Control* control = FindControl(LookupWindow(dialog), id);
  return control != nullptr ? control->handle : nullptr;
}

HWND SetFocus(HWND window) {
  static HWND focus = nullptr;
  if (window != nullptr && LookupWindow(window) == nullptr &&
      FindControlByHandle(window) == nullptr) {
    return nullptr;
  }
  HWND previous = focus;
  focus = window;
  return previous;
}

void standin::ResetDialogs() {
  gFailNextDialog = false;
}

void StandinFailNextDialog() {
  standin::gFailNextDialog = true;
}
