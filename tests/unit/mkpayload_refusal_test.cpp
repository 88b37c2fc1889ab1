// What mkpayload refuses: one row per hostile input or command line. Each
// refusal is one "mkpayload: error:" line with its exit status, leaves no new
// file behind and leaves the outputs of an earlier good run as they were.
#include "mkpayload.h"
#include "mkpayload_test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <tuple>

namespace fs = std::filesystem;
using namespace mkpayload_test;

namespace {

// Binds a Unix socket at path, so that a socket file exists there.
void MakeSocket(const fs::path& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.string().size(), sizeof address.sun_path) << path;
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0)
      << std::strerror(errno);
  close(fd);
}

std::map<fs::path, std::string> Contents(const fs::path& dir) {
  std::map<fs::path, std::string> out;
  for (const fs::path& path : Listing(dir)) {
    out[path] = fs::is_directory(fs::symlink_status(path)) ? "(directory)" : ReadFile(path);
  }
  return out;
}

struct Row {
  std::string prefix;  // shell text run before the tool
  std::string line;    // the tool's arguments
  std::string message;
  int exitCode;
};

TEST(MkpayloadRefusals, EachIsReportedAndLeavesTheOutputsAsTheyWere) {
  Scratch scratch;
  fs::path dir = scratch.dir;
  WriteFile(dir / "tw32.exe", MakeData(40000, 3));
  WriteFile(dir / "uninst.exe", MakeData(5000, 4));
  WriteFile(dir / "noise.bin", MakeData(300000, 5));
  fs::create_directories(dir / "od");
  fs::create_directories(dir / "subdir");
  fs::create_directory_symlink("od", dir / "odlink");
  fs::create_symlink("/dev/zero", dir / "zlink");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0) << std::strerror(errno);
  MakeSocket(dir / "sock");
  // Sparse: sizes over the limit without the disk space.
  WriteFile(dir / "big.bin", "");
  fs::resize_file(dir / "big.bin", (std::uintmax_t{1} << 30) + 1);
  for (const char* half : {"half1.bin", "half2.bin"}) {
    WriteFile(dir / half, "");
    fs::resize_file(dir / half, std::uintmax_t{600} << 20);
  }

  // The outputs of an earlier good run, which every refusal must leave alone.
  const std::string opts =
      "--main-exe tw32.exe --blob od/o.bin --asm od/o.S --table od/o.cpp --names od/n.cpp ";
  const std::string ok = opts + "tw32.exe uninst.exe ";
  RunResult good = RunTool(dir, ok);
  ASSERT_EQ(good.exitCode, 0) << good.err;
  fs::create_hard_link(dir / "od/o.bin", dir / "hard.bin");
  const std::map<fs::path, std::string> before = Contents(dir / "od");
  ASSERT_EQ(before.size(), 4u);
  const std::set<fs::path> listed = Listing(dir);

  const std::string three = "--main-exe tw32.exe --blob od/o.bin --asm od/o.S ";
  const Row rows[] = {
      // Inputs that are not regular files, checked before they are opened.
      {"", ok + "z=/dev/zero", "mkpayload: error: \"/dev/zero\" is not a regular file\n", 1},
      {"", ok + "zlink", "\"zlink\" is not a regular file", 1},
      {"", ok + "fifo", "\"fifo\" is not a regular file", 1},
      {"", ok + "subdir", "\"subdir\" is not a regular file", 1},
      {"", ok + "sock", "\"sock\" is not a regular file", 1},
      {"", ok + "gone.txt", "input \"gone.txt\": cannot read \"gone.txt\"", 1},
      // Opens, but every read fails (even for root): an unreadable input.
      {"", ok + "mem=/proc/self/mem", "input \"mem=/proc/self/mem\": cannot read", 1},
      // Too much to pack, refused by name and size before any compression.
      {"", ok + "big.bin",
       "input \"big.bin\": \"big.bin\" holds 1073741825 bytes, which brings the payload to "
       "1073786825 bytes; a payload may hold at most 1073741824 bytes (1 GiB) in total",
       1},
      {"", ok + "half1.bin half2.bin",
       "input \"half2.bin\": \"half2.bin\" holds 629145600 bytes, which brings the payload to "
       "1258336200 bytes",
       1},
      // Names.
      {"", ok + "=tw32.exe", "input \"=tw32.exe\": name \"\": the name is empty", 1},
      {"", ok + "~Setup.TMP=tw32.exe",
       "input \"~Setup.TMP=tw32.exe\": name \"~Setup.TMP\": the name is that of a folder the "
       "setup keeps its journal in, \"~setup.tmp\"",
       1},
      {"", ok + "~SETUP3.tmp=tw32.exe", "a folder the setup keeps its journal in, \"~setup3.tmp\"",
       1},
      {"", ok + "a\\b=tw32.exe", "contains '\\'", 1},
      {"", ok + "c:x=tw32.exe", "contains ':'", 1},
      {"", ok + "x\x01=tw32.exe",
       "input \"x\\001=tw32.exe\": name \"x\\001\": the name contains a control", 1},
      {"", ok + "..=tw32.exe", "contains \"..\"", 1},
      {"", ok + "x.=tw32.exe", "ends in a dot", 1},
      {"", ok + "caf\xc3\xa9.txt=tw32.exe",
       "name \"caf\\303\\251.txt\": the name contains a byte outside printable ASCII (\"\\303\")",
       1},
      {"", ok + "\xe9-latin1.txt=tw32.exe",
       "name \"\\351-latin1.txt\": the name contains a byte outside printable ASCII", 1},
      {"", ok + "Con.txt=tw32.exe", "name \"Con.txt\": the name is a reserved device name", 1},
      {"", ok + "COM0=tw32.exe", "name \"COM0\": the name is a reserved device name", 1},
      {"", ok + "lpt0.txt=tw32.exe", "name \"lpt0.txt\": the name is a reserved device name", 1},
      {"", ok + "COM\xb9=tw32.exe", "name \"COM\\271\": the name is a reserved device name", 1},
      {"", ok + "LPT\xb3.dat=tw32.exe", "name \"LPT\\263.dat\": the name is a reserved device", 1},
      {"", ok + "com\xc2\xb2=tw32.exe",
       "name \"com\\302\\262\": the name is a reserved device name", 1},
      {"", ok + "LPT\xc2\xb9.txt=tw32.exe",
       "name \"LPT\\302\\271.txt\": the name is a reserved device name", 1},
      {"", ok + "TW32.exe=tw32.exe", "input \"TW32.exe=tw32.exe\": name \"TW32.exe\" duplicates",
       1},
      {"", opts + "uninst.exe tw32.exe",
       "input \"uninst.exe\": the first file is named \"uninst.exe\"", 1},
      {"", opts + "tw32.exe", "no input is named \"uninst.exe\"", 1},
      {"", opts, "no input files", 1},
      {"", "--main-exe tw32.exe --names od/n.cpp tw32.exe uninst.exe COM\xb2=x",
       "name \"COM\\262\": the name is a reserved device name", 1},
      {"", "--main-exe tw32.exe --names od/n.cpp tw32.exe", "no input is named \"uninst.exe\"", 1},
      // One output under two spellings, or an output that is an input.
      {"", three + "--table od/./o.bin tw32.exe uninst.exe",
       "--blob \"od/o.bin\" and --table \"od/./o.bin\" name the same file", 1},
      {"", three + "--table odlink/o.bin tw32.exe uninst.exe",
       "--blob \"od/o.bin\" and --table \"odlink/o.bin\" name the same file", 1},
      {"", three + "--table hard.bin tw32.exe uninst.exe",
       "--blob \"od/o.bin\" and --table \"hard.bin\" name the same file", 1},
      {"", three + "--table od/o.bin tw32.exe uninst.exe",
       "--blob \"od/o.bin\" and --table \"od/o.bin\" name the same file", 1},
      {"", three + "--table od/o.cpp --names od/../od/o.S tw32.exe uninst.exe",
       "--asm \"od/o.S\" and --names \"od/../od/o.S\" name the same file", 1},
      {"", "--main-exe tw32.exe --blob tw32.exe --asm od/o.S --table od/o.cpp tw32.exe uninst.exe",
       "--blob \"tw32.exe\" would replace input \"tw32.exe\"", 1},
      {"", "--main-exe tw32.exe --names ./uninst.exe tw32.exe uninst.exe",
       "--names \"./uninst.exe\" would replace input \"uninst.exe\"", 1},
      {"", three + "--table subdir tw32.exe uninst.exe",
       "--table \"subdir\" exists and is not a regular file", 1},
      {"", three + "--table /dev/null tw32.exe uninst.exe",
       "--table \"/dev/null\" exists and is not a regular file", 1},
      // The system refuses a resource half way: no thread, no room for the blob.
      {"ulimit -s 214748364800;", ok + "--jobs 2",
       "cannot start compression thread 1 of 2: Resource temporarily unavailable", 1},
      {"ulimit -f 16; trap '' XFSZ;", ok + "noise.bin", "cannot write \"od/o.bin\": File too large",
       1},
      {"", three + "--table nodir/t.cpp tw32.exe uninst.exe", "cannot write \"nodir/t.cpp\"", 1},
      // Command-line mistakes.
      {"", three + "tw32.exe uninst.exe", "missing option --table", 2},
      {"", "--main-exe tw32.exe --blob od/o.bin --names od/n.cpp tw32.exe uninst.exe",
       "missing option --asm", 2},
      {"", "--blob od/o.bin --asm od/o.S --table od/o.cpp tw32.exe uninst.exe",
       "missing option --main-exe", 2},
      {"", ok + "--fast", "unknown option \"--fast\"", 2},
      {"", ok + "--jobs", "--jobs needs a value", 2},
      {"", ok + "--main-exe x.exe", "--main-exe is given twice", 2},
      {"", ok + "--jobs 0", "bad --jobs value \"0\"", 2},
      {"", ok + "--jobs two", "bad --jobs value \"two\"", 2},
      {"", ok + "--jobs 99999999999", "bad --jobs value", 2},
      {"", ok + "--level 0", "bad --level value \"0\"", 2},
      {"", ok + "--level 13", "bad --level value \"13\"", 2},
      {"", ok + "--level fast", "bad --level value \"fast\"", 2},
  };
  for (const Row& row : rows) {
    RunResult run = RunTool(dir, row.line, row.prefix);
    std::string where = row.prefix + " mkpayload " + row.line;
    EXPECT_EQ(run.exitCode, row.exitCode) << where << "\nstderr: " << run.err;
    EXPECT_NE(run.err.find(row.message), std::string::npos)
        << where << "\nstderr: " << run.err << "expected: " << row.message;
    // One message, and one line unless the usage hint follows.
    std::string first = run.err.substr(0, run.err.find('\n') + 1);
    EXPECT_TRUE(first.rfind("mkpayload: error: ", 0) == 0 && first.size() > 19 &&
                (run.err == first || run.err == first + "Try 'mkpayload --help'.\n"))
        << where << "\nstderr: " << run.err;
    std::set<fs::path> after = Listing(dir);
    EXPECT_TRUE(after == listed) << where << "\nleft " << after.size() << " entries in " << dir
                                 << ", expected " << listed.size();
    EXPECT_TRUE(Contents(dir / "od") == before) << where << "\nchanged the earlier outputs";
  }
}

// Failures where the outputs are put in place, after everything was written:
// the outputs stay those of the earlier run, and nothing else is left.
TEST(MkpayloadRefusals, AFailureAtTheEndLeavesThePreviousOutputs) {
  const struct {
    std::string taken;  // made a directory (…/) or a link to the victim, in od/
    std::string message;
  } rows[] = {
      // The third rename fails after two outputs were replaced.
      {"c.S/", "cannot rename into \"od/c.S\": Is a directory"},
  };
  for (const auto& row : rows) {
    Scratch scratch;
    fs::current_path(scratch.dir);
    fs::create_directories("od");
    WriteFile("od/a.bin", "earlier a");
    WriteFile("victim", "not ours");
    if (row.taken.back() == '/') {
      fs::create_directories("od/" + row.taken + "x");
    } else {
      fs::create_symlink("../victim", "od/" + row.taken);
    }
    const std::map<fs::path, std::string> before = Contents(".");
    std::string error;
    {
      mkpayload::OutputSet files;
      bool created = true;
      for (const char* path : {"od/a.bin", "od/b.cpp", "od/c.S"}) {
        int index = files.Create(path, &error);
        created = created && index >= 0 && files.Write(index, "new", 3, &error);
      }
      EXPECT_FALSE(created && files.Commit(&error)) << row.taken << ": the outputs were replaced";
    }
    EXPECT_NE(error.find(row.message), std::string::npos) << row.taken << ": " << error;
    std::map<fs::path, std::string> after = Contents(".");
    EXPECT_TRUE(after == before) << row.taken << ": " << after.size() << " entries, "
                                 << before.size() << " before; od/a.bin holds "
                                 << ReadFile("od/a.bin");
    fs::current_path(scratch.dir.parent_path());
  }
}

// What earlier runs left next to the outputs never stops a run: names are
// drawn anew, and only a temporary file that no run holds locked is removed.
TEST(MkpayloadRefusals, LeftoversOfEarlierRunsAreNotInTheWay) {
  Scratch scratch;
  fs::current_path(scratch.dir);
  fs::create_directories("od");
  WriteFile("victim", "not ours");
  WriteFile("od/o.bin", "earlier");
  const std::string pid = std::to_string(getpid());
  // In od/: 'l' a link to the victim, 'f' a file, 'h' one a run holds; stays.
  const std::tuple<std::string, char, bool> rows[] = {
      // Names that runs took before, with a process id that is now this one's.
      {"o.cpp.tmp" + pid, 'l', true}, {"o.bin.old" + pid, 'l', true},
      {"o.bin.tmpzzzzzz", 'l', true}, {"o.bin.tmpk3x9q0", 'f', false},
      {"o.bin.tmplocked", 'h', true},
  };
  std::set<fs::path> expected = {"od/o.bin", "od/o.cpp"};
  int held = -1;
  for (const auto& [name, kind, stays] : rows) {
    fs::path path = "od/" + name;
    kind == 'l' ? fs::create_symlink("../victim", path) : WriteFile(path, "left over");
    if (kind == 'h') held = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (stays) expected.insert(path);
  }
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0) << std::strerror(errno);
  std::string error;
  bool committed;
  {
    mkpayload::OutputSet files;
    int bin = files.Create("od/o.bin", &error), cpp = files.Create("od/o.cpp", &error);
    committed = bin >= 0 && cpp >= 0 && files.Write(bin, "new", 3, &error) &&
                files.Write(cpp, "new", 3, &error) && files.Commit(&error);
  }
  close(held);
  EXPECT_TRUE(committed) << error;
  EXPECT_EQ(ReadFile("od/o.bin") + ReadFile("od/o.cpp") + ReadFile("victim"), "newnewnot ours");
  std::string left, wanted;
  for (const fs::path& path : Listing("od")) left += path.string() + " ";
  for (const fs::path& path : expected) wanted += path.string() + " ";
  EXPECT_EQ(left, wanted);
  fs::current_path(scratch.dir.parent_path());
}

}  // namespace
