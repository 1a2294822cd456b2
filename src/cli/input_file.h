// Where the text of a structure file comes from: a file by its path, or
// standard input for "-"; gzip-compressed data (recognised by their first
// bytes, whatever the name) are decompressed.
#pragma once

#include <istream>
#include <memory>
#include <string>

namespace ccs::cli {

// The path as messages name it ("standard input" for "-").
std::string display_name(const std::string& path);

// The reader a file name asks for: its extension without the dot, in lower
// case, a trailing ".gz" left out ("" when there is none).
std::string format_from_name(const std::string& path);

// A format as the user gives it (--format): lower case, without a leading
// dot or a trailing ".gz".
std::string normalise_format(const std::string& format);

class InputFile {
 public:
  // Opens `path` ("-": standard input). Raises InputError naming the input
  // when it does not exist, is a directory, cannot be read, holds nothing
  // but white space, or its compressed data are damaged.
  explicit InputFile(const std::string& path);
  std::istream& stream() { return *stream_; }
  bool compressed() const { return compressed_; }

 private:
  std::unique_ptr<std::istream> stream_;
  bool compressed_ = false;
};

}  // namespace ccs::cli
