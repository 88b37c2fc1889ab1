// Reads the compiled resource file and checks both dialog templates, field by
// field: these bytes are what Windows shows.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// A name or an ordinal: 0xFFFF followed by a number, else a UTF-16 string.
struct NameOrId {
  bool isId = false;
  uint16_t id = 0;
  std::string name;
};

struct Control {
  uint32_t style, exStyle;
  int16_t x, y, cx, cy;
  uint16_t id;
  NameOrId windowClass, text;
  uint16_t extraBytes;
};

struct Dialog {
  uint16_t resourceId, language;
  uint32_t style, exStyle;
  int16_t x, y, cx, cy;
  NameOrId menu, windowClass;
  std::string caption;
  uint16_t pointSize;
  std::string font;
  std::vector<Control> controls;
};

class Reader {
 public:
  Reader(const std::vector<unsigned char>& bytes, size_t at, size_t end)
      : bytes_(bytes), at_(at), end_(end) {}
  uint16_t Word() {
    Need(2);
    uint16_t v = static_cast<uint16_t>(bytes_[at_] | (bytes_[at_ + 1] << 8));
    at_ += 2;
    return v;
  }
  uint32_t Dword() {
    uint32_t low = Word();
    return low | (static_cast<uint32_t>(Word()) << 16);
  }
  std::string String() {
    std::string out;
    for (uint16_t c = Word(); c != 0; c = Word()) {
      if (c > 0x7F) throw std::runtime_error("non-ASCII character in a template");
      out += static_cast<char>(c);
    }
    return out;
  }
  NameOrId NameOrOrdinal() {
    NameOrId out;
    uint16_t first = Word();
    if (first == 0xFFFF) {
      out.isId = true;
      out.id = Word();
    } else if (first != 0) {
      at_ -= 2;
      out.name = String();
    }
    return out;
  }
  void Align() { at_ = (at_ + 3) & ~size_t{3}; }
  void Skip(size_t n) { at_ += n; }
  size_t at() const { return at_; }

 private:
  void Need(size_t n) {
    if (at_ + n > end_) throw std::runtime_error("template runs past its resource");
  }
  const std::vector<unsigned char>& bytes_;
  size_t at_, end_;
};

Dialog ParseDialog(const std::vector<unsigned char>& bytes, size_t at, size_t end) {
  Reader r(bytes, at, end);
  Dialog d{};
  d.style = r.Dword();
  d.exStyle = r.Dword();
  uint16_t count = r.Word();
  d.x = r.Word(), d.y = r.Word(), d.cx = r.Word(), d.cy = r.Word();
  d.menu = r.NameOrOrdinal();
  d.windowClass = r.NameOrOrdinal();
  d.caption = r.String();
  if (d.style & 0x40) {  // DS_SETFONT
    d.pointSize = r.Word();
    d.font = r.String();
  }
  for (uint16_t i = 0; i < count; ++i) {
    r.Align();
    Control c{};
    c.style = r.Dword();
    c.exStyle = r.Dword();
    c.x = r.Word(), c.y = r.Word(), c.cx = r.Word(), c.cy = r.Word();
    c.id = r.Word();
    c.windowClass = r.NameOrOrdinal();
    c.text = r.NameOrOrdinal();
    c.extraBytes = r.Word();
    r.Skip(c.extraBytes);
    d.controls.push_back(c);
  }
  return d;
}

// Every RT_DIALOG (5) resource of a .res file.
std::vector<Dialog> ReadDialogs(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  std::vector<Dialog> dialogs;
  size_t at = 0;
  while (at + 32 <= bytes.size()) {
    Reader header(bytes, at, bytes.size());
    uint32_t dataSize = header.Dword();
    uint32_t headerSize = header.Dword();
    NameOrId type = header.NameOrOrdinal();
    NameOrId name = header.NameOrOrdinal();
    header.Align();
    header.Dword();  // data version
    header.Word();   // memory flags
    uint16_t language = header.Word();
    size_t data = at + headerSize;
    if (type.isId && type.id == 5) {
      Dialog d = ParseDialog(bytes, data, data + dataSize);
      d.resourceId = name.id;
      d.language = language;
      dialogs.push_back(d);
    }
    at = (data + dataSize + 3) & ~size_t{3};
  }
  return dialogs;
}

// The class of a control: an atom of a predefined class or its name.
std::string ClassName(const NameOrId& c) {
  if (!c.isId) return c.name;
  switch (c.id) {
    case 0x80:
      return "BUTTON";
    case 0x81:
      return "EDIT";
    case 0x82:
      return "STATIC";
  }
  return "atom " + std::to_string(c.id);
}

struct ExpectedControl {
  int id;
  const char* windowClass;
  const char* text;
  uint32_t style;
  int x, y, cx, cy;
};

struct ExpectedDialog {
  uint16_t resourceId;
  uint32_t style;
  int x, y, cx, cy;
  const char* caption;
  std::vector<ExpectedControl> controls;
};

const ExpectedDialog kExpected[] = {
    {109,
     0x80C800C0,
     0,
     0,
     186,
     54,
     "Setup Progress",
     {
         {-1, "STATIC", "The application is now being installed.", 0x50020000, 30, 14, 123, 12},
         {1002, "STATIC", "Percent Complete:   0%", 0x50020000, 53, 34, 87, 8},
     }},
    {113,
     0x90C800C0,
     0,
     0,
     217,
     98,
     "Choose a Data Directory",
     {
         {1, "BUTTON", "OK", 0x50010001, 7, 78, 50, 14},
         {2, "BUTTON", "Cancel", 0x50010000, 160, 78, 50, 14},
         {-1, "STATIC",
          "This application requires a directory in which to store its data files. The location "
          "below is recommended and should work fine for most users. If you wish to enter a "
          "different directory name, however, you may do so now.",
          0x50020000, 7, 7, 203, 38},
         {1097, "EDIT", "", 0x50810080, 7, 50, 203, 14},
     }},
};

TEST(DialogTemplates, MatchTheirTablesFieldByField) {
  std::vector<Dialog> dialogs = ReadDialogs(SETUP_TEMPLATES_RES);
  ASSERT_EQ(dialogs.size(), 2u) << SETUP_TEMPLATES_RES;
  for (const ExpectedDialog& e : kExpected) {
    SCOPED_TRACE("dialog " + std::to_string(e.resourceId));
    const Dialog* d = nullptr;
    for (const Dialog& candidate : dialogs) {
      if (candidate.resourceId == e.resourceId) d = &candidate;
    }
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->language, 1033);
    EXPECT_EQ(d->style, e.style) << std::hex << d->style;
    EXPECT_EQ(d->exStyle, 0u);
    EXPECT_EQ(d->x, e.x);
    EXPECT_EQ(d->y, e.y);
    EXPECT_EQ(d->cx, e.cx);
    EXPECT_EQ(d->cy, e.cy);
    EXPECT_FALSE(d->menu.isId || !d->menu.name.empty()) << "no menu";
    EXPECT_FALSE(d->windowClass.isId || !d->windowClass.name.empty()) << "default class";
    EXPECT_EQ(d->caption, e.caption);
    EXPECT_EQ(d->pointSize, 8);
    EXPECT_EQ(d->font, "MS Sans Serif");
    ASSERT_EQ(d->controls.size(), e.controls.size());
    for (size_t i = 0; i < e.controls.size(); ++i) {
      SCOPED_TRACE("control " + std::to_string(i + 1));
      const Control& c = d->controls[i];
      const ExpectedControl& x = e.controls[i];
      EXPECT_EQ(c.id, static_cast<uint16_t>(x.id));
      EXPECT_EQ(ClassName(c.windowClass), x.windowClass);
      EXPECT_FALSE(c.text.isId);
      EXPECT_EQ(c.text.name, x.text);
      EXPECT_EQ(c.style, x.style) << std::hex << c.style;
      EXPECT_EQ(c.exStyle, 0u);
      EXPECT_EQ(c.x, x.x);
      EXPECT_EQ(c.y, x.y);
      EXPECT_EQ(c.cx, x.cx);
      EXPECT_EQ(c.cy, x.cy);
      EXPECT_EQ(c.extraBytes, 0);
    }
  }
}

}  // namespace
