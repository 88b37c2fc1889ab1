// Reading the inputs and writing the outputs all or nothing.
#include "mkpayload.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace mkpayload {

bool ReadInput(const Input& input, SourceFile* file, std::string* error) {
  std::string where = "input " + Quote(input.arg) + ": ";
  std::error_code ec;
  fs::file_status status = fs::status(input.path, ec);
  if (ec || !fs::exists(status)) {
    *error = where + "cannot read " + Quote(input.path) + ": " +
             (ec ? ec.message() : std::string("no such file"));
    return false;
  }
  if (fs::is_directory(status)) {
    *error = where + Quote(input.path) + " is a directory, not a file";
    return false;
  }
  std::FILE* in = std::fopen(input.path.c_str(), "rb");
  if (in == nullptr) {
    *error = where + "cannot open " + Quote(input.path) + ": " + std::strerror(errno);
    return false;
  }
  file->name = input.name;
  // One read of the whole file: the size is known, and reading it in one
  // piece keeps this serial step short next to the parallel compression.
  std::uintmax_t size = fs::file_size(input.path, ec);
  file->data.resize(ec ? 0 : static_cast<std::size_t>(size));
  std::size_t got =
      file->data.empty() ? 0 : std::fread(file->data.data(), 1, file->data.size(), in);
  file->data.resize(got);
  // A file that grew since its size was taken is read to its end.
  unsigned char buffer[65536];
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    file->data.insert(file->data.end(), buffer, buffer + got);
  }
  bool failed = std::ferror(in) != 0;
  int readErrno = errno;
  std::fclose(in);
  if (failed) {
    *error = where + "cannot read " + Quote(input.path) + ": " + std::strerror(readErrno);
    return false;
  }
  return true;
}

bool WriteOutputs(const std::vector<OutputFile>& outputs, std::string* error) {
  std::vector<std::string> temps;
  auto removeTemps = [&temps]() {
    for (const std::string& temp : temps) std::remove(temp.c_str());
  };
  for (const OutputFile& output : outputs) {
    std::string temp = output.path + ".tmp" + std::to_string(getpid());
    temps.push_back(temp);
    std::FILE* out = std::fopen(temp.c_str(), "wb");
    bool ok = out != nullptr;
    if (ok && !output.content.empty()) {
      ok = std::fwrite(output.content.data(), 1, output.content.size(), out) ==
           output.content.size();
    }
    int writeErrno = errno;
    if (out != nullptr && std::fclose(out) != 0 && ok) {
      ok = false;
      writeErrno = errno;
    }
    if (!ok) {
      *error = "cannot write " + Quote(output.path) + ": " + std::strerror(writeErrno);
      removeTemps();
      return false;
    }
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (std::rename(temps[i].c_str(), outputs[i].path.c_str()) != 0) {
      *error = "cannot rename into " + Quote(outputs[i].path) + ": " + std::strerror(errno);
      // Outputs already renamed would pair with stale ones; remove them too.
      for (std::size_t j = 0; j < i; ++j) std::remove(outputs[j].path.c_str());
      removeTemps();
      return false;
    }
  }
  return true;
}

}  // namespace mkpayload
