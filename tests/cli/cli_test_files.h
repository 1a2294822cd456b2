// Writes small structure files into a fresh temporary folder for the tests.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace ccs::test {

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/ccs_cli_test_XXXXXX";
    const char* d = mkdtemp(tmpl);
    path_ = d != nullptr ? d : "/tmp";
  }
  ~TempDir() {
    const std::string cmd = "rm -rf '" + path_ + "'";
    if (std::system(cmd.c_str()) != 0) std::perror("rm");
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // Writes `text` to name inside the folder and returns the full path.
  std::string write(const std::string& name, const std::string& text) const {
    const std::string p = path_ + "/" + name;
    std::ofstream(p) << text;
    return p;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace ccs::test
