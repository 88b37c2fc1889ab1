// mkpayload's name rules, called directly: what Windows can create as a bare
// file name in the current directory.
#include "mkpayload.h"
#include "mkpayload_test_support.h"

#include <gtest/gtest.h>

using namespace mkpayload_test;

namespace {

// mkpayload and tidewell_add_setup's CMake must split each row alike.
TEST(MkpayloadParseInput, SplitsAtTheFirstEqualsSignOfABareNameAsCMakeDoes) {
  const char* cases[][3] = {
      {"dist/tw32.exe", "tw32.exe", "dist/tw32.exe"},
      {"plain", "plain", "plain"},
      {"tw32.exe=build/app", "tw32.exe", "build/app"},
      {"a=b=c", "a", "b=c"},
      {"dir/", "", "dir/"},
      // A '/' before the '=': the '=' belongs to a folder's name.
      {"/work/r=1/build/uninst.exe", "uninst.exe", "/work/r=1/build/uninst.exe"},
      {"uninst.exe=/work/r=1/u.exe", "uninst.exe", "/work/r=1/u.exe"},
      // Without one, the text before the '=' is a name, even of a folder.
      {"r=1/tw32.exe", "r", "1/tw32.exe"},
  };
  Scratch scratch;
  WriteFile(scratch.dir / "split.cmake", "include(" MKPAYLOAD_TEST_ROOT
                                         "/cmake/SetupTarget.cmake)\n"
                                         "_tidewell_split_input(\"${INPUT}\" name path)\n"
                                         "message(\"${name}|${path}\")\n");
  for (const auto& c : cases) {
    mkpayload::Input input = mkpayload::ParseInput(c[0]);
    std::string expected = std::string(c[1]) + "|" + c[2];
    EXPECT_EQ(input.name + "|" + input.path, expected) << "mkpayload, arg " << c[0];
    RunResult cmake = RunIn(
        scratch.dir, {MKPAYLOAD_TEST_CMAKE, std::string("-DINPUT=") + c[0], "-P", "split.cmake"});
    EXPECT_EQ(cmake.err, expected + "\n") << "CMake, arg " << c[0] << ", exit " << cmake.exitCode;
  }
}

TEST(MkpayloadNameProblem, AcceptsOrRejectsWithTheReason) {
  struct Case {
    std::string name;
    const char* reason;  // "" when the name is accepted, else a word of the reason
  };
  const Case cases[] = {
      {"tw32.exe", ""},
      {".hidden", ""},
      {"CONSOLE.txt", ""},
      {"com10", ""},
      {"COM\xc2\xb9x", "outside printable ASCII"},
      {"LPT\xb4", "outside printable ASCII"},
      {"my file.txt", ""},
      {"~tilde~", ""},
      {std::string(255, 'x'), ""},
      {"", "empty"},
      {"dir/file", "'/'"},
      {"dir\\file", "'\\'"},
      {"C:file", "':'"},
      {"tab\there", "control"},
      {std::string("nul\0byte", 8), "control"},
      {"del\x7f", "control"},
      {".", "\".\""},
      {"..", "\"..\""},
      {"a..b", "\"..\""},
      {"CON", "reserved"},
      {"con.txt", "reserved"},
      {"Prn.log.old", "reserved"},
      {"aux", "reserved"},
      {"NUL.exe", "reserved"},
      {"com1", "reserved"},
      {"COM9.bin", "reserved"},
      {"lpt1", "reserved"},
      {"LPT9.x", "reserved"},
      {"COM0", "reserved"},
      {"lpt0.dat", "reserved"},
      {"COM\xb9", "reserved"},
      {"com\xb2.txt", "reserved"},
      {"COM\xb3", "reserved"},
      {"LPT\xb9.log", "reserved"},
      {"lpt\xb2", "reserved"},
      {"LPT\xb3 .x", "reserved"},
      {"COM\xc2\xb9", "reserved"},
      {"com\xc2\xb2.txt", "reserved"},
      {"COM\xc2\xb3", "reserved"},
      {"LPT\xc2\xb9", "reserved"},
      {"lpt\xc2\xb2.x", "reserved"},
      {"LPT\xc2\xb3", "reserved"},
      {"caf\xc3\xa9", "outside printable ASCII (\"\\303\")"},
      {"\xe9-latin1.txt", "outside printable ASCII (\"\\351\")"},
      {"x\xff", "outside printable ASCII"},
      {"con .txt", "reserved"},
      {"trailing.", "dot or a space"},
      {"trailing ", "dot or a space"},
      {"star*", "'*'"},
      {"what?", "'?'"},
      {"quote\"", "'\"'"},
      {std::string(256, 'x'), "255"},
  };
  for (const Case& c : cases) {
    std::string problem = mkpayload::NameProblem(c.name);
    bool ok = *c.reason == '\0' ? problem.empty() : problem.find(c.reason) != std::string::npos;
    EXPECT_TRUE(ok) << "name \"" << c.name << "\" gave \"" << problem << "\", expected \""
                    << c.reason << "\"";
  }
}

}  // namespace
