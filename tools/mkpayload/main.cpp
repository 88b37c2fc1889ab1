// Command line of mkpayload: options, then the packing steps in order.
#include "mkpayload.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>

namespace {

const char kUsage[] =
    "Usage: mkpayload --main-exe NAME --blob OUT.bin --asm OUT.S --table OUT.cpp\n"
    "                 [--jobs N] INPUT...\n"
    "       mkpayload --help\n"
    "\n"
    "Packs the INPUT files, in the order given, into the payload of the setup\n"
    "program. Each INPUT is PATH (installed under the last component of PATH)\n"
    "or NAME=PATH (installed as NAME). The first file must be the one named\n"
    "by --main-exe, and one file must be named \"uninst.exe\".\n"
    "\n"
    "  --main-exe NAME  file name of the product's main executable\n"
    "  --blob OUT.bin   where to write the compressed chunks\n"
    "  --asm OUT.S      where to write the assembler source embedding OUT.bin\n"
    "  --table OUT.cpp  where to write the C++ source of the payload table\n"
    "  --jobs N         compress on N threads (default: one per core)\n"
    "  --help           show this text\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "mkpayload: error: %s\n", message.c_str());
  return 1;
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "mkpayload: error: %s\nTry 'mkpayload --help'.\n", message.c_str());
  return 2;
}

bool ParseJobs(const std::string& text, unsigned* jobs) {
  if (text.empty() || text.size() > 4) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  unsigned long value = std::stoul(text);
  if (value < 1 || value > 1024) return false;
  *jobs = static_cast<unsigned>(value);
  return true;
}

mkpayload::Bytes ToBytes(const std::string& text) {
  return {text.begin(), text.end()};
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> options = {
      {"--main-exe", ""}, {"--blob", ""}, {"--asm", ""}, {"--table", ""}, {"--jobs", ""}};
  std::map<std::string, bool> given;
  std::vector<mkpayload::Input> inputs;
  bool onlyInputs = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (onlyInputs || arg.empty() || arg[0] != '-') {
      inputs.push_back(mkpayload::ParseInput(arg));
    } else if (arg == "--") {
      onlyInputs = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (options.count(arg) == 0) {
      return UsageError("unknown option \"" + arg + "\"");
    } else if (given[arg]) {
      return UsageError("option " + arg + " is given twice");
    } else if (i + 1 >= argc) {
      return UsageError("option " + arg + " needs a value");
    } else {
      given[arg] = true;
      options[arg] = argv[++i];
    }
  }
  for (const char* required : {"--main-exe", "--blob", "--asm", "--table"}) {
    if (options[required].empty()) {
      return UsageError(std::string("missing option ") + required);
    }
  }
  if (options["--blob"] == options["--asm"] || options["--blob"] == options["--table"] ||
      options["--asm"] == options["--table"]) {
    return UsageError("--blob, --asm and --table must name three different files");
  }
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  if (given["--jobs"] && !ParseJobs(options["--jobs"], &jobs)) {
    return UsageError("bad --jobs value \"" + options["--jobs"] +
                      "\"; expected a whole number from 1 to 1024");
  }

  std::string error;
  if (!mkpayload::CheckInputs(inputs, options["--main-exe"], &error)) return Fail(error);
  std::vector<mkpayload::SourceFile> files(inputs.size());
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (!mkpayload::ReadInput(inputs[i], &files[i], &error)) return Fail(error);
  }
  mkpayload::FileChunks chunks;
  if (!mkpayload::CompressAll(files, jobs, &chunks, &error)) return Fail(error);

  mkpayload::Bytes blob;
  std::vector<mkpayload::FileLayout> layout = mkpayload::BuildLayout(files, chunks, &blob);
  chunks.clear();
  std::error_code ec;
  std::string blobPath = std::filesystem::absolute(options["--blob"], ec).lexically_normal();
  if (ec) return Fail("cannot make \"" + options["--blob"] + "\" absolute: " + ec.message());

  std::vector<mkpayload::OutputFile> outputs = {
      {options["--blob"], std::move(blob)},
      {options["--asm"], ToBytes(mkpayload::AsmSource(blobPath))},
      {options["--table"], ToBytes(mkpayload::TableSource(layout))},
  };
  if (!mkpayload::WriteOutputs(outputs, &error)) return Fail(error);
  return 0;
}
