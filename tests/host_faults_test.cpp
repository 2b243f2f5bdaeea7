// Faults of the world around the block: an output that cannot be written (a full disk, a
// reader that went away), input that ends inside a frame or holds something that is not a
// number, and a plug-in file that is missing, not a library, or a library without the entry
// point. Each ends with a clear message and a failing exit status, never a crash.
// The faults are staged with POSIX means (/dev/full, pipes, posix_spawn), so Windows builds
// leave this file out.
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/plugin_library.h"
#include "host/vq.h"

namespace quenvarith::testing {
namespace {

// A directory of its own for one test, removed afterwards.
class Scratch {
 public:
  Scratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quenvarith-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
    }
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  Scratch(Scratch&&) = delete;
  Scratch& operator=(Scratch&&) = delete;
  ~Scratch() {
    std::error_code ignored;
    if (!path_.empty()) {
      std::filesystem::remove_all(path_, ignored);
    }
  }
  [[nodiscard]] std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::string contentsOf(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

void writeContents(const std::string& path, const std::string& contents) {
  std::ofstream stream(path, std::ios::binary);
  stream << contents;
}

struct RunResult {
  bool exited = false;  // false: killed by a signal
  int exitCode = -1;
  int signal = 0;
  std::string out;  // when standard output went to a file
  std::string err;
};

// Runs quenvarith-run with `input` on standard input, standard output on `stdoutFd` (or a file
// when -1) and standard error captured. The child starts with SIGPIPE at its default action,
// as from a shell.
RunResult runCommand(const std::vector<std::string>& arguments, const std::string& input = "",
                     int stdoutFd = -1) {
  const Scratch scratch;
  const std::string inPath = scratch.file("stdin");
  const std::string outPath = scratch.file("stdout");
  const std::string errPath = scratch.file("stderr");
  writeContents(inPath, input);
  std::vector<std::string> words = {QUENVARITH_RUN_PATH};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, inPath.c_str(), O_RDONLY, 0);
  if (stdoutFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  RunResult result;
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) {
    return result;
  }
  int status = 0;
  waitpid(child, &status, 0);
  result.exited = WIFEXITED(status);
  result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  if (stdoutFd < 0) {
    result.out = contentsOf(outPath);
  }
  result.err = contentsOf(errPath);
  return result;
}

size_t lineCount(const std::string& text) {
  size_t lines = 0;
  for (const char c : text) {
    lines += c == '\n' ? 1 : 0;
  }
  return lines;
}

TEST(HostFaults, FullDiskEndsWithAMessage) {
  for (const std::string format : {"text", "cf32", "csv"}) {
    SCOPED_TRACE(format);
    // Named as the output file, and as standard output.
    const RunResult named =
        runCommand({"--random", "100000", "--format", format, "--output", "/dev/full", "--quiet"});
    EXPECT_NE(named.exitCode, 0);
    EXPECT_NE(named.err.find("error"), std::string::npos) << named.err;

    const int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    const RunResult piped =
        runCommand({"--random", "100000", "--format", format, "--quiet"}, "", full);
    close(full);
    EXPECT_TRUE(piped.exited) << "killed by signal " << piped.signal;
    EXPECT_NE(piped.exitCode, 0);
    EXPECT_NE(piped.err.find("error"), std::string::npos) << piped.err;
  }
}

TEST(HostFaults, ClosedPipeEndsWithAMessage) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);  // the reader is gone before the first sample
  const RunResult result = runCommand({"--random", "1000000", "--quiet"}, "", ends[1]);
  close(ends[1]);
  EXPECT_TRUE(result.exited) << "killed by signal " << result.signal;
  EXPECT_NE(result.exitCode, 0);
  EXPECT_NE(result.err.find("error"), std::string::npos) << result.err;
}

TEST(HostFaults, InputEndingInsideAFrameNamesTheLine) {
  // Frames of 4 bits (2 symbols of M = 4): the third frame is cut short on line 3.
  const RunResult result = runCommand({"--frame-size", "4", "--quiet"}, "1 0 1 1\n0 0 1 0\n1 1\n");
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("line 3"), std::string::npos) << result.err;
  EXPECT_EQ(lineCount(result.out), 32u);  // the two whole frames went out
}

TEST(HostFaults, TokenThatIsNoNumberNamesTheLine) {
  for (const std::string token : {"x", "1x", "0,1", "--", "0x1p"}) {
    SCOPED_TRACE(token);
    const RunResult result = runCommand({"--quiet"}, "0 1\n1 0\n" + token + " 1\n");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("line 3"), std::string::npos) << result.err;
  }
}

// The path of a shared library this process has loaded, found from one of its functions.
std::string libraryOf(const void* function) {
  Dl_info info{};
  if (dladdr(function, &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  return info.dli_fname;
}

TEST(HostFaults, UnusablePluginsAreReportedByTheEngine) {
  const Scratch scratch;
  const std::string notALibrary = scratch.file("quenvarith.so");
  writeContents(notALibrary, "this is not a shared library\n");
  const std::string withoutEntry =
      libraryOf(reinterpret_cast<const void*>(&vqGetPr));  // the host's array library
  ASSERT_FALSE(withoutEntry.empty());

  for (const std::string& path :
       {scratch.file("missing/quenvarith.so"), notALibrary, withoutEntry}) {
    SCOPED_TRACE(path);
    const engine::PluginLibrary plugin(path);
    EXPECT_FALSE(plugin.isOpen());
    EXPECT_EQ(plugin.entryPoint(), nullptr);
    EXPECT_NE(plugin.error().find(path), std::string::npos) << plugin.error();

    const RunResult result = runCommand({"--random", "10", "--plugin", path, "--quiet"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(path), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
  }
  const engine::PluginLibrary withoutEntryPoint(withoutEntry);
  EXPECT_NE(withoutEntryPoint.error().find("dxpFunction"), std::string::npos)
      << withoutEntryPoint.error();
}

}  // namespace
}  // namespace quenvarith::testing

#endif  // !_WIN32
