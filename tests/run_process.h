// Runs the built quenvarith-run as a subprocess, with standard input from a string and
// standard output and error captured, for the end-to-end tests.
#pragma once

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace quenvarith::testing {

// A directory of its own for one test, removed afterwards.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::random_device entropy;
    path_ = std::filesystem::temp_directory_path() /
            ("quenvarith-" + std::to_string(entropy()) + "-" + std::to_string(entropy()));
    std::filesystem::create_directories(path_);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  ScratchDirectory(ScratchDirectory&&) = delete;
  ScratchDirectory& operator=(ScratchDirectory&&) = delete;
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  [[nodiscard]] std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string readFile(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& path, const std::string& contents) {
  std::ofstream stream(path, std::ios::binary);
  stream << contents;
}

inline std::string shellQuoted(const std::string& argument) {
#if defined(_WIN32)
  return "\"" + argument + "\"";
#else
  std::string quoted = "'";
  for (const char c : argument) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
#endif
}

struct ProcessResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs `program` with `arguments`, the file `inPath` on its standard input.
inline ProcessResult runProgramOn(const std::string& program,
                                  const std::vector<std::string>& arguments,
                                  const std::string& inPath) {
  const ScratchDirectory scratch;
  const std::string outPath = scratch.file("stdout");
  const std::string errPath = scratch.file("stderr");
#if defined(_WIN32)
  // cmd.exe wants the program as a full path with backslashes.
  std::string command = shellQuoted(std::filesystem::absolute(program).make_preferred().string());
#else
  std::string command = shellQuoted(program);
#endif
  for (const std::string& argument : arguments) {
    command += " " + shellQuoted(argument);
  }
  command +=
      " < " + shellQuoted(inPath) + " > " + shellQuoted(outPath) + " 2> " + shellQuoted(errPath);
#if defined(_WIN32)
  // cmd.exe /c drops the first and the last quotation mark of a line that starts with one.
  command = "\"" + command + "\"";
#endif
  // The shell gives the redirections; the command line is built from quoted arguments only.
  int status = std::system(command.c_str());  // NOLINT(cert-env33-c)
  ProcessResult result;
#if defined(_WIN32)
  // Under Wine the command processor now and then fails to start (-1), or fails to find the
  // program it has just run (9009, "can't recognize ... as a command"), before the program ran;
  // such a start is made again, as the program itself never exits with either status.
  constexpr int kNotStarted = -1;
  constexpr int kCommandNotFound = 9009;
  for (int retry = 0; retry < 2 && (status == kNotStarted || status == kCommandNotFound); ++retry) {
    status = std::system(command.c_str());  // NOLINT(cert-env33-c)
  }
  result.exitCode = status;
#else
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

// Runs `program` with `arguments`, `input` on its standard input.
inline ProcessResult runProgram(const std::string& program,
                                const std::vector<std::string>& arguments,
                                const std::string& input = "") {
  const ScratchDirectory scratch;
  const std::string inPath = scratch.file("stdin");
  writeFile(inPath, input);
  return runProgramOn(program, arguments, inPath);
}

inline ProcessResult runQuenvarith(const std::vector<std::string>& arguments,
                                   const std::string& input = "") {
  return runProgram(QUENVARITH_RUN_PATH, arguments, input);
}

// A text output with Windows' CR LF line ends read as LF.
inline std::string withUnixLineEnds(const std::string& text) {
  std::string converted;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') {
      converted += text[i];
    }
  }
  return converted;
}

// The lines of a text output.
inline std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(withUnixLineEnds(text));
  for (std::string line; std::getline(stream, line);) {
    lines.push_back(line);
  }
  return lines;
}

}  // namespace quenvarith::testing
