// Tokenizer and recursive-descent reader of the resource-script subset.
#include "rc_parser.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

enum class TokenKind { kEnd, kWord, kNumber, kString, kComma, kOpen, kClose, kMinus };

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;  // word or string contents, or the number's spelling
  long long number = 0;
  int line = 0;
};

class Reader {
 public:
  explicit Reader(const std::string& text) : text_(text) {}

  bool Run(std::vector<RcDialog>* dialogs, std::string* error);

 private:
  bool Fail(const std::string& what) {
    if (error_.empty()) error_ = "line " + std::to_string(token_.line) + ": " + what;
    return false;
  }
  std::string Describe(const Token& token) const;
  bool Next();
  bool ReadString(Token* token);
  bool ReadNumber(Token* token);
  bool ExpectComma();
  bool ExpectString(const char* what, std::string* value);
  bool ExpectNumber(const char* what, long long low, long long high, long long* value);
  bool ExpectInt(const char* what, long long low, long long high, int* value);
  bool ExpectStyle(const char* what, uint32_t* value);
  bool IsWord(const char* word) const;
  bool ReadDialog(RcDialog* dialog);
  bool ReadControl(RcControl* control);

  const std::string& text_;
  size_t pos_ = 0;
  int line_ = 1;
  Token token_;
  std::string error_;
};

std::string Reader::Describe(const Token& token) const {
  switch (token.kind) {
    case TokenKind::kEnd:
      return "the end of the file";
    case TokenKind::kString:
      return "\"" + token.text + "\"";
    default:
      return "'" + token.text + "'";
  }
}

bool Reader::ReadString(Token* token) {
  // Inside a string a doubled quote stands for one quote; backslash escapes
  // \\, \", \n and \t are understood as well.
  ++pos_;
  for (;;) {
    if (pos_ >= text_.size() || text_[pos_] == '\n') {
      token_.line = line_;
      return Fail("unterminated string");
    }
    char c = text_[pos_++];
    if (c == '"') {
      if (pos_ < text_.size() && text_[pos_] == '"') {
        token->text += '"';
        ++pos_;
        continue;
      }
      return true;
    }
    if (c == '\\' && pos_ < text_.size()) {
      char e = text_[pos_++];
      switch (e) {
        case 'n':
          token->text += '\n';
          break;
        case 't':
          token->text += '\t';
          break;
        case '\\':
        case '"':
          token->text += e;
          break;
        default:
          token_.line = line_;
          return Fail(std::string("unsupported escape \\") + e + " in a string");
      }
      continue;
    }
    token->text += c;
  }
}

bool Reader::ReadNumber(Token* token) {
  size_t start = pos_;
  int base = 10;
  if (text_[pos_] == '0' && pos_ + 1 < text_.size() &&
      (text_[pos_ + 1] == 'x' || text_[pos_ + 1] == 'X')) {
    base = 16;
    pos_ += 2;
  }
  size_t digits = pos_;
  while (pos_ < text_.size() && isalnum(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  token->text = text_.substr(start, pos_ - start);
  std::string body = text_.substr(digits, pos_ - digits);
  char* end = nullptr;
  errno = 0;
  unsigned long long value = body.empty() ? 0 : strtoull(body.c_str(), &end, base);
  if (body.empty() || *end != '\0' || errno != 0 || value > 0xFFFFFFFFull) {
    token_.line = line_;
    return Fail("bad number '" + token->text + "'");
  }
  token->number = static_cast<long long>(value);
  return true;
}

bool Reader::Next() {
  // The preprocessor has removed comments; a leftover directive is refused
  // below as an unexpected character.
  while (pos_ < text_.size() && isspace(static_cast<unsigned char>(text_[pos_]))) {
    if (text_[pos_] == '\n') ++line_;
    ++pos_;
  }
  Token token;
  token.line = line_;
  if (pos_ >= text_.size()) {
    token_ = token;
    return true;
  }
  char c = text_[pos_];
  if (c == '"') {
    token.kind = TokenKind::kString;
    if (!ReadString(&token)) return false;
  } else if (isdigit(static_cast<unsigned char>(c))) {
    token.kind = TokenKind::kNumber;
    if (!ReadNumber(&token)) return false;
  } else if (isalpha(static_cast<unsigned char>(c)) || c == '_') {
    token.kind = TokenKind::kWord;
    while (pos_ < text_.size() &&
           (isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_')) {
      token.text += text_[pos_++];
    }
  } else if (c == ',' || c == '(' || c == ')' || c == '-') {
    token.kind = c == ','   ? TokenKind::kComma
                 : c == '(' ? TokenKind::kOpen
                 : c == ')' ? TokenKind::kClose
                            : TokenKind::kMinus;
    token.text = std::string(1, c);
    ++pos_;
  } else {
    token_ = token;
    return Fail(std::string("unexpected character '") + c + "'");
  }
  token_ = token;
  return true;
}

bool Reader::IsWord(const char* word) const {
  if (token_.kind != TokenKind::kWord) return false;
  const std::string& t = token_.text;
  size_t i = 0;
  for (; word[i] != '\0'; ++i) {
    if (i >= t.size() || toupper(static_cast<unsigned char>(t[i])) != word[i]) return false;
  }
  return i == t.size();
}

bool Reader::ExpectComma() {
  if (token_.kind != TokenKind::kComma) return Fail("expected ',' but found " + Describe(token_));
  return Next();
}

bool Reader::ExpectString(const char* what, std::string* value) {
  if (token_.kind != TokenKind::kString) {
    return Fail(std::string("expected ") + what + " (a quoted string) but found " +
                Describe(token_));
  }
  *value = token_.text;
  return Next();
}

bool Reader::ExpectNumber(const char* what, long long low, long long high, long long* value) {
  // number | -number | ( number ) | ( -number )
  bool parenthesised = token_.kind == TokenKind::kOpen;
  if (parenthesised && !Next()) return false;
  bool negative = token_.kind == TokenKind::kMinus;
  if (negative && !Next()) return false;
  if (token_.kind != TokenKind::kNumber) {
    return Fail(std::string("expected ") + what + " (a number) but found " + Describe(token_));
  }
  long long v = negative ? -token_.number : token_.number;
  std::string spelling = (negative ? "-" : "") + token_.text;
  if (!Next()) return false;
  if (parenthesised) {
    if (token_.kind != TokenKind::kClose) return Fail("expected ')' but found " + Describe(token_));
    if (!Next()) return false;
  }
  if (v < low || v > high) {
    return Fail(std::string(what) + " " + spelling + " is out of range");
  }
  *value = v;
  return true;
}

bool Reader::ExpectInt(const char* what, long long low, long long high, int* value) {
  long long v = 0;
  if (!ExpectNumber(what, low, high, &v)) return false;
  *value = static_cast<int>(v);
  return true;
}

bool Reader::ExpectStyle(const char* what, uint32_t* value) {
  long long v = 0;
  if (!ExpectNumber(what, -0x80000000LL, 0xFFFFFFFFLL, &v)) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

bool Reader::ReadControl(RcControl* control) {
  if (!Next()) return false;  // past CONTROL
  return ExpectString("the control text", &control->text) && ExpectComma() &&
         ExpectInt("the control id", -32768, 65535, &control->id) && ExpectComma() &&
         ExpectString("the control class", &control->className) && ExpectComma() &&
         ExpectStyle("the control style", &control->style) && ExpectComma() &&
         ExpectInt("x", -32768, 32767, &control->x) && ExpectComma() &&
         ExpectInt("y", -32768, 32767, &control->y) && ExpectComma() &&
         ExpectInt("the width", 0, 32767, &control->cx) && ExpectComma() &&
         ExpectInt("the height", 0, 32767, &control->cy);
}

bool Reader::ReadDialog(RcDialog* dialog) {
  if (!Next()) return false;  // past DIALOG
  if (!(ExpectInt("x", -32768, 32767, &dialog->x) && ExpectComma() &&
        ExpectInt("y", -32768, 32767, &dialog->y) && ExpectComma() &&
        ExpectInt("the width", 0, 32767, &dialog->cx) && ExpectComma() &&
        ExpectInt("the height", 0, 32767, &dialog->cy))) {
    return false;
  }
  std::set<std::string> seen;
  while (!IsWord("BEGIN")) {
    if (token_.kind != TokenKind::kWord) {
      return Fail("expected STYLE, CAPTION, FONT or BEGIN but found " + Describe(token_));
    }
    std::string option = token_.text;
    for (char& ch : option) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    if (option != "STYLE" && option != "CAPTION" && option != "FONT") {
      return Fail("unsupported dialog option '" + token_.text + "'");
    }
    if (!seen.insert(option).second) return Fail(option + " given twice");
    if (!Next()) return false;
    bool ok = option == "STYLE" ? ExpectStyle("the dialog style", &dialog->style)
              : option == "CAPTION"
                  ? ExpectString("the caption", &dialog->caption)
                  : ExpectInt("the font size", 1, 32767, &dialog->fontSize) && ExpectComma() &&
                        ExpectString("the font name", &dialog->fontName);
    if (!ok) return false;
  }
  if (!Next()) return false;  // past BEGIN
  while (!IsWord("END")) {
    if (!IsWord("CONTROL")) return Fail("expected CONTROL or END but found " + Describe(token_));
    RcControl control;
    if (!ReadControl(&control)) return false;
    dialog->controls.push_back(control);
  }
  return Next();  // past END
}

bool Reader::Run(std::vector<RcDialog>* dialogs, std::string* error) {
  std::set<int> ids;
  bool ok = Next();
  while (ok && token_.kind != TokenKind::kEnd) {
    if (IsWord("LANGUAGE")) {
      long long primary = 0, sub = 0;
      ok = Next() && ExpectNumber("the language", 0, 0x3FF, &primary) && ExpectComma() &&
           ExpectNumber("the sublanguage", 0, 0x3F, &sub);
      continue;
    }
    RcDialog dialog;
    if (token_.kind != TokenKind::kNumber) {
      ok = Fail("expected LANGUAGE or a numeric dialog id but found " + Describe(token_));
      break;
    }
    ok = ExpectInt("the dialog id", 1, 65535, &dialog.id);
    if (!ok) break;
    if (!IsWord("DIALOG")) {
      ok = Fail("unsupported resource type " + Describe(token_) + " (only DIALOG)");
      break;
    }
    if (!ids.insert(dialog.id).second) {
      ok = Fail("dialog " + std::to_string(dialog.id) + " defined twice");
      break;
    }
    ok = ReadDialog(&dialog);
    if (ok) dialogs->push_back(dialog);
  }
  if (!ok) *error = error_;
  return ok;
}

std::string CppString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\%03o", c);
      out += escaped;
    }
  }
  return out + "\"";
}

std::string Hex(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "0x%08Xu", value);
  return text;
}

}  // namespace

bool ParseRcScript(const std::string& text, std::vector<RcDialog>* dialogs, std::string* error) {
  dialogs->clear();
  Reader reader(text);
  return reader.Run(dialogs, error);
}

std::string EmitDialogTable(const std::vector<RcDialog>& dialogs, const std::string& sourceName) {
  std::string out = "// Generated by rc2cpp from " + sourceName + "; do not edit.\n";
  out += "#include \"dialog_templates.h\"\n\nnamespace standin {\nnamespace {\n\n";
  for (const RcDialog& d : dialogs) {
    if (d.controls.empty()) continue;
    out += "const DialogControlTemplate kControls" + std::to_string(d.id) + "[] = {\n";
    for (const RcControl& c : d.controls) {
      out += "    {" + CppString(c.text) + ", " + std::to_string(c.id) + ", " +
             CppString(c.className) + ", " + Hex(c.style) + ", " + std::to_string(c.x) + ", " +
             std::to_string(c.y) + ", " + std::to_string(c.cx) + ", " + std::to_string(c.cy) +
             "},\n";
    }
    out += "};\n\n";
  }
  out += "}  // namespace\n\nconst DialogTemplate kDialogTemplates[] = {\n";
  for (const RcDialog& d : dialogs) {
    std::string controls = d.controls.empty() ? "nullptr" : "kControls" + std::to_string(d.id);
    out += "    {" + std::to_string(d.id) + ", " + Hex(d.style) + ", " + std::to_string(d.x) +
           ", " + std::to_string(d.y) + ", " + std::to_string(d.cx) + ", " + std::to_string(d.cy) +
           ", " + CppString(d.caption) + ", " + std::to_string(d.fontSize) + ", " +
           CppString(d.fontName) + ", " + controls + ", " + std::to_string(d.controls.size()) +
           "},\n";
  }
  out +=
      "    {0, 0, 0, 0, 0, 0, nullptr, 0, nullptr, nullptr, 0},\n};\n\n}  // namespace standin\n";
  return out;
}
