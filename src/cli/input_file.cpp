#include "cli/input_file.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cctype>
#include <fstream>
#include <sstream>

#include "cli/structure.h"

namespace ccs::cli {
namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool blank(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Everything gzip yields from `f` (plain data pass through unchanged);
// raises InputError when the compressed data are damaged or cut short.
std::string read_all(gzFile f, const std::string& path, bool* compressed) {
  if (f == nullptr) input_error(display_name(path), "cannot open it");
  std::string text;
  char buf[1 << 16];
  int n = 0;
  while ((n = gzread(f, buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
  *compressed = gzdirect(f) == 0;
  int err = Z_OK;
  const char* msg = gzerror(f, &err);
  const std::string why = msg != nullptr ? msg : "";
  gzclose(f);
  if (n < 0 || (err != Z_OK && err != Z_STREAM_END)) {
    input_error(display_name(path), "the compressed data are damaged" + (why.empty() ? "" : " (" + why + ")"));
  }
  return text;
}

}  // namespace

std::string display_name(const std::string& path) { return path == "-" ? "standard input" : path; }

std::string normalise_format(const std::string& format) {
  std::string f = lower(format);
  if (ends_with(f, ".gz")) f.resize(f.size() - 3);
  if (!f.empty() && f[0] == '.') f.erase(0, 1);
  return f;
}

std::string format_from_name(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  if (ends_with(lower(name), ".gz")) name.resize(name.size() - 3);
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return "";
  return lower(name.substr(dot + 1));
}

InputFile::InputFile(const std::string& path) {
  const std::string name = display_name(path);
  if (path == "-") {
    // Standard input cannot be read twice: take all of it (gzip or plain).
    const int fd = dup(STDIN_FILENO);
    if (fd < 0) input_error(name, "cannot read it");
    gzFile f = gzdopen(fd, "rb");
    if (f == nullptr) close(fd);
    const std::string text = read_all(f, path, &compressed_);
    if (blank(text)) input_error(name, "nothing was given on it");
    stream_ = std::make_unique<std::istringstream>(text);
    return;
  }
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) input_error(name, "no such file");
  if (S_ISDIR(st.st_mode)) input_error(name, "is a directory, not a structure file");
  auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
  if (!*file) input_error(name, "cannot open the file");
  unsigned char magic[2] = {0, 0};
  file->read(reinterpret_cast<char*>(magic), 2);
  compressed_ = file->gcount() == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
  if (compressed_) {
    const std::string text = read_all(gzopen(path.c_str(), "rb"), path, &compressed_);
    if (blank(text)) input_error(name, "the file is empty");
    stream_ = std::make_unique<std::istringstream>(text);
    return;
  }
  // A plain file is read as a stream (large trajectories need not fit in
  // memory twice); a file of white space only is empty.
  file->clear();
  file->seekg(0);
  std::string line;
  bool empty = true;
  while (empty && std::getline(*file, line)) empty = blank(line);
  if (empty) input_error(name, "the file is empty");
  file->clear();
  file->seekg(0);
  stream_ = std::move(file);
}

}  // namespace ccs::cli
