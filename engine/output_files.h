// The files a run writes, and which file a name stands for. A regular file is written under a
// temporary name beside it and moved into place when the output is complete, so that no name the
// user gave ever holds half a recording; a FIFO, a device or standard output is written directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quenvarith::engine {

// What tells one file from another however it is reached (through hard or symbolic links): the
// device and inode on POSIX, the volume serial number and file index on Windows.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool regular = false;  // a regular file, which writing replaces (a FIFO or device it does not)

  [[nodiscard]] bool sameFile(const FileIdentity& other) const {
    return volume == other.volume && index == other.index;
  }
};

// The file `path` names, following symbolic links; nothing when there is none.
std::optional<FileIdentity> fileIdentity(const std::string& path);
// The file behind standard input or standard output; nothing for a terminal or a pipe that has
// none worth comparing.
std::optional<FileIdentity> standardInputIdentity();
std::optional<FileIdentity> standardOutputIdentity();

// A temporary file is named NAME.partial-XXXXXX beside the file NAME it will replace.
inline constexpr const char* kPartialInfix = ".partial-";

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  OutputFile(OutputFile&&) = delete;
  OutputFile& operator=(OutputFile&&) = delete;
  // A temporary file that was not moved into place is removed.
  ~OutputFile();

  // Opens `path` for writing, "-" being standard output; `binary` keeps line ends as they are
  // on Windows. A symbolic link is followed: its target is what gets replaced. False, with
  // `error()`, when the file cannot be written: a directory, a read-only file, a folder the
  // user cannot write in.
  bool open(const std::string& path, bool binary);
  // Writes all of `data`; false with `error()` when it cannot.
  bool write(const char* data, size_t size);
  // Puts what was written on storage and closes the file; it keeps its temporary name.
  bool finish();
  // Moves a finished temporary file over the file it replaces.
  bool moveIntoPlace();

  // The file that the output ends up as (a symbolic link's target); empty for standard output.
  [[nodiscard]] const std::string& target() const { return target_; }
  // The temporary file written until it is moved into place; empty when written directly.
  [[nodiscard]] const std::string& temporary() const { return temporary_; }
  // The output as messages name it: quoted as the user gave it, or "standard output".
  [[nodiscard]] const std::string& name() const { return name_; }
  [[nodiscard]] const std::string& error() const { return error_; }

 private:
  bool fail(const std::string& what, int code);
  void close();

  int descriptor_ = -1;
  bool owned_ = false;
  std::string target_;
  std::string temporary_;  // empty when written directly
  std::string name_;
  std::string error_;
};

// Removes the file `path` if there is one; false, with a message in `error`, when it is there
// and cannot be removed.
bool removeIfPresent(const std::string& path, std::string& error);

}  // namespace quenvarith::engine
