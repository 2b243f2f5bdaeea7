// Where the built and the installed binaries look for shared libraries: only inside their own
// tree. The search paths are read from each ELF file's dynamic section, parsed here, so that no
// tool is needed.
#include <gtest/gtest.h>

#if defined(__linux__)

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "run_process.h"

namespace quenvarith::testing {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSectionDynamic = 6;
constexpr uint64_t kTagEnd = 0;
constexpr uint64_t kTagRpath = 15;
constexpr uint64_t kTagRunpath = 29;

// The fields of an ELF file that the search paths hang on, read for either class and byte order.
class ElfReader {
 public:
  explicit ElfReader(std::string bytes) : bytes_(std::move(bytes)) {}

  [[nodiscard]] bool isElf() const {
    constexpr std::string_view kMagic =
        "\x7f"
        "ELF";
    return bytes_.size() > 0x40 && std::string_view(bytes_).starts_with(kMagic) &&
           (klass() == 1 || klass() == 2) && (bytes_[5] == 1 || bytes_[5] == 2);
  }

  // Every DT_RPATH and DT_RUNPATH string; nullopt when the file is cut short.
  [[nodiscard]] std::optional<std::vector<std::string>> searchPaths() const {
    const bool wide = klass() == 2;
    const uint64_t sectionTable = word(wide ? 0x28 : 0x20, wide ? 8 : 4);
    const uint64_t entrySize = word(wide ? 0x3a : 0x2e, 2);
    const uint64_t count = word(wide ? 0x3c : 0x30, 2);
    std::vector<std::string> paths;
    for (uint64_t index = 0; index < count; ++index) {
      const uint64_t header = sectionTable + index * entrySize;
      if (!holds(header, entrySize)) return std::nullopt;
      if (word(header + 4, 4) != kSectionDynamic) continue;
      const uint64_t offset = word(header + (wide ? 0x18 : 0x10), wide ? 8 : 4);
      const uint64_t size = word(header + (wide ? 0x20 : 0x14), wide ? 8 : 4);
      const uint64_t linked = word(header + (wide ? 0x28 : 0x18), 4);
      const uint64_t stringHeader = sectionTable + linked * entrySize;
      if (!holds(offset, size) || !holds(stringHeader, entrySize)) return std::nullopt;
      const uint64_t strings = word(stringHeader + (wide ? 0x18 : 0x10), wide ? 8 : 4);
      const uint64_t tagSize = wide ? 8 : 4;
      for (uint64_t entry = offset; entry + 2 * tagSize <= offset + size; entry += 2 * tagSize) {
        const uint64_t tag = word(entry, tagSize);
        if (tag == kTagEnd) break;
        if (tag != kTagRpath && tag != kTagRunpath) continue;
        const uint64_t start = strings + word(entry + tagSize, tagSize);
        if (!holds(start, 1)) return std::nullopt;
        paths.emplace_back(bytes_.c_str() + start);
      }
    }
    return paths;
  }

 private:
  [[nodiscard]] int klass() const { return bytes_[4]; }
  [[nodiscard]] bool holds(uint64_t offset, uint64_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }
  [[nodiscard]] uint64_t word(uint64_t offset, uint64_t size) const {
    if (!holds(offset, size)) return 0;
    const bool little = bytes_[5] == 1;
    uint64_t value = 0;
    for (uint64_t i = 0; i < size; ++i) {
      const auto byte = static_cast<unsigned char>(bytes_[offset + (little ? size - 1 - i : i)]);
      value = (value << 8U) | byte;
    }
    return value;
  }

  std::string bytes_;
};

bool within(const fs::path& path, const fs::path& root) {
  const fs::path relative = path.lexically_normal().lexically_relative(root.lexically_normal());
  return !relative.empty() && *relative.begin() != "..";
}

// What is wrong with one search path entry of the file at `file`, or nothing.
std::string entryFault(const std::string& entry, const fs::path& file, const fs::path& root,
                       bool originOnly) {
  if (entry.empty()) return "an empty entry (the current directory)";
  for (const std::string_view origin : {"$ORIGIN", "${ORIGIN}"}) {
    if (entry.starts_with(origin)) {
      const fs::path resolved = file.parent_path() / ("." + entry.substr(origin.size()));
      return within(resolved, root) ? "" : "an entry that leaves the tree";
    }
  }
  if (entry.front() != '/') return "a relative entry (taken from the current directory)";
  if (originOnly) return "an absolute entry, which does not move with the installation";
  return within(entry, root) ? "" : "an entry outside the build tree";
}

struct Finding {
  size_t elfFiles = 0;
  std::vector<std::string> faults;
};

Finding checkTree(const fs::path& root, bool originOnly) {
  Finding finding;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    if (!item.is_regular_file() || item.is_symlink()) continue;
    const ElfReader elf(readFile(item.path().string()));
    if (!elf.isElf()) continue;
    ++finding.elfFiles;
    const auto paths = elf.searchPaths();
    if (!paths) {
      finding.faults.push_back(item.path().string() + ": unreadable dynamic section");
      continue;
    }
    for (const std::string& path : *paths) {
      size_t begin = 0;
      for (;;) {
        const size_t end = std::min(path.find(':', begin), path.size());
        const std::string entry = path.substr(begin, end - begin);
        if (const std::string fault = entryFault(entry, item.path(), root, originOnly);
            !fault.empty()) {
          std::string message = item.path().string();
          message.append(": '").append(path).append("' has ").append(fault);
          finding.faults.push_back(message);
        }
        if (end == path.size()) break;
        begin = end + 1;
      }
    }
  }
  return finding;
}

TEST(LibrarySearchPaths, TheRulesTellGoodEntriesFromBadOnes) {
  const fs::path root = "/build";
  const fs::path file = "/build/bin/program";
  const struct {
    std::string entry;
    bool originOnly;
    bool good;
  } cases[] = {
      {"$ORIGIN/../lib", false, true},
      {"${ORIGIN}", true, true},
      {"/build/lib", false, true},
      {"/build/lib", true, false},
      {"", false, false},
      {"lib", false, false},
      {"./lib", false, false},
      {"$ORIGIN/../../lib", false, false},
      {"/usr/lib", false, false},
      {"/build/../elsewhere", false, false},
      {"$LIB", false, false},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(entryFault(test.entry, file, root, test.originOnly).empty(), test.good)
        << "'" << test.entry << "'";
  }
}

TEST(LibrarySearchPaths, NoBuiltBinaryLooksOutsideTheBuildTree) {
  const Finding finding = checkTree(QUENVARITH_BINARY_DIR, false);
  // The command, the plug-in, both host libraries and this program at least.
  EXPECT_GE(finding.elfFiles, 5U);
  for (const std::string& fault : finding.faults) {
    ADD_FAILURE() << fault;
  }
}

TEST(LibrarySearchPaths, InstalledBinariesLookOnlyBesideThemselves) {
  const ScratchDirectory scratch;
  const std::string prefix = scratch.file("prefix");
  const ProcessResult install = runProgram(
      QUENVARITH_CMAKE_COMMAND, {"--install", QUENVARITH_BINARY_DIR, "--prefix", prefix});
  ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
  const Finding finding = checkTree(prefix, true);
  EXPECT_GE(finding.elfFiles, 4U);
  for (const std::string& fault : finding.faults) {
    ADD_FAILURE() << fault;
  }
  // And what they find there is enough: the installed command runs its installed plug-in.
  const ProcessResult run =
      runProgram(prefix + "/" + QUENVARITH_INSTALL_BINDIR + "/quenvarith-run", {"--random", "2"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(linesOf(run.out).size(), 16U);
}

}  // namespace
}  // namespace quenvarith::testing

#endif
