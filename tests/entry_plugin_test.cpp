// The plug-in file as a host sees it: loaded at run time, reached only through its one export.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "entry_calls.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#if defined(__linux__)
#include <elf.h>
#endif

namespace quenvarith::entry_test {
namespace {

constexpr char kPluginPath[] = QUENVARITH_PLUGIN_PATH;

// The plug-in, loaded the way a host loads it, and unloaded at the end.
class LoadedPlugin {
 public:
  LoadedPlugin() {
#if defined(_WIN32)
    module_ = LoadLibraryA(kPluginPath);
#else
    module_ = dlopen(kPluginPath, RTLD_NOW | RTLD_LOCAL);
#endif
  }
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;
  ~LoadedPlugin() {
    if (module_ == nullptr) {
      return;
    }
#if defined(_WIN32)
    FreeLibrary(module_);
#else
    dlclose(module_);
#endif
  }

  bool loaded() const {
    return module_ != nullptr;
  }
  DxpEntryPoint entryPoint() const {
#if defined(_WIN32)
    // Through a generic function pointer: FARPROC's own signature is not the entry's.
    return reinterpret_cast<DxpEntryPoint>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_, "dxpFunction")));
#else
    return reinterpret_cast<DxpEntryPoint>(dlsym(module_, "dxpFunction"));
#endif
  }

 private:
#if defined(_WIN32)
  HMODULE module_ = nullptr;
#else
  void* module_ = nullptr;
#endif
};

class Plugin : public ScopedTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(plugin_.loaded()) << "cannot load " << kPluginPath;
    entry_ = plugin_.entryPoint();
    ASSERT_NE(entry_, nullptr);
  }
  DxpEntryPoint entry() const { return entry_; }

 private:
  LoadedPlugin plugin_;
  DxpEntryPoint entry_ = nullptr;
};

TEST_F(Plugin, FileIsNamedAfterTheModule) {
  const std::string path = kPluginPath;
  const std::string file = path.substr(path.find_last_of("/\\") + 1);
#if defined(_WIN32)
  EXPECT_EQ(file, "quenvarith.dll");
#else
  EXPECT_EQ(file, "quenvarith.so");
#endif
}

TEST_F(Plugin, SetupCallPreparesAHostRecord) {
  host::HostBlock host;
  host.setParameters({});
  RightHandArguments arguments(host.makeRecordReference(), scalar(0.0));

  const SetupResult result = callSetup(entry(), 1, arguments);

  ASSERT_EQ(result.status, DXP_CALL_RETURNED) << result.message;
  const std::vector<double> entries = result.entries();
  ASSERT_EQ(entries.size(), 38u);
  EXPECT_EQ(entries[DXP_WORD_RECORD_VERSION], 5200229.0);
  EXPECT_NE(host.record()->methods.sizes, nullptr);
  EXPECT_NE(host.record()->methods.outputs, nullptr);
  EXPECT_NE(host.record()->flagWord & DXP_FLAG_PORT_DIMENSION_INFO, 0u);

  // Methods installed from the plug-in are callable by the host directly.
  host.record()->methods.timeOfNextVarHit(host.record());
  EXPECT_STREQ(dxpGetErrorStatus(host.record()),
               "To have a variable sample time, you must define MDL_GET_TIME_OF_NEXT_VAR_HIT and "
               "add a mdlGetTimeOfNextVarHit routine");

  ArrayHandle width = scalar(116.0);
  EXPECT_EQ(callFlag(entry(), host.record(), width.get()), DXP_CALL_RETURNED);
  EXPECT_STREQ(dxpGetErrorStatus(host.record()), "Unexpected call to mdlSetOutputPortWidth");
  ArrayHandle unknown = scalar(100.0);
  EXPECT_EQ(callFlag(entry(), host.record(), unknown.get()), DXP_CALL_RETURNED);
  EXPECT_STREQ(dxpGetErrorStatus(host.record()), "Invalid flag encountered in pellumar");
}

TEST_F(Plugin, ErrorsRaisedInsideThePluginReachTheHost) {
  host::HostBlock host("quenvarith_copy");
  RightHandArguments arguments(host.makeRecordReference(), scalar(0.0));
  const SetupResult mismatch = callSetup(entry(), 1, arguments);
  EXPECT_EQ(mismatch.status, DXP_CALL_RAISED);
  EXPECT_NE(mismatch.message.find("\"quenvarith_copy\""), std::string::npos) << mismatch.message;

  RightHandArguments badFlag(emptyArray(), scalar(0.5));
  const SetupResult raised = callSetup(entry(), 1, badFlag);
  EXPECT_EQ(raised.status, DXP_CALL_RAISED);
  EXPECT_EQ(raised.message,
            "The 4th right hand argument, FLAG, passed to DXP level2 plug-in \"quenvarith\" must "
            "be an integer");
}

TEST_F(Plugin, LocalRecordCallReturnsTheSizesVector) {
  RightHandArguments arguments(emptyArray(), scalar(0.0));
  const SetupResult result = callSetup(entry(), 0, arguments);
  ASSERT_EQ(result.status, DXP_CALL_RETURNED) << result.message;
  const std::vector<double> entries = result.entries();
  ASSERT_EQ(entries.size(), 38u);
  EXPECT_EQ(entries[DXP_WORD_RECORD_VERSION], 5200229.0);
  EXPECT_EQ(entries[DXP_WORD_OPTIONS], 8192.0);
}

#if defined(__linux__)

// The symbols an ELF shared object defines in its dynamic symbol table, and whether it has
// static initialisers of its own.
template <typename Header, typename Section, typename Symbol>
struct ElfReader {
  const std::vector<unsigned char>& bytes;

  template <typename T>
  T read(size_t offset) const {
    T value{};
    if (offset + sizeof(T) <= bytes.size()) {
      std::memcpy(&value, bytes.data() + offset, sizeof(T));
    }
    return value;
  }
  std::string stringAt(size_t offset) const {
    std::string text;
    while (offset < bytes.size() && bytes[offset] != 0) {
      text.push_back(static_cast<char>(bytes[offset++]));
    }
    return text;
  }
  std::vector<Section> sections() const {
    const auto header = read<Header>(0);
    std::vector<Section> all;
    for (size_t i = 0; i < header.e_shnum; ++i) {
      all.push_back(read<Section>(header.e_shoff + i * header.e_shentsize));
    }
    return all;
  }
  // Names of the symbols a symbol table of the given type defines (global or weak).
  std::vector<std::string> definedSymbols(uint32_t tableType, bool globalOnly) const {
    std::vector<std::string> names;
    const std::vector<Section> all = sections();
    for (const Section& table : all) {
      if (table.sh_type != tableType || table.sh_link >= all.size()) {
        continue;
      }
      const Section& strings = all[table.sh_link];
      for (size_t offset = table.sh_offset + sizeof(Symbol);
           offset + sizeof(Symbol) <= table.sh_offset + table.sh_size; offset += sizeof(Symbol)) {
        const auto symbol = read<Symbol>(offset);
        const unsigned binding = static_cast<unsigned>(symbol.st_info) >> 4u;
        if (symbol.st_shndx == SHN_UNDEF) {
          continue;
        }
        if (globalOnly && binding != STB_GLOBAL && binding != STB_WEAK) {
          continue;
        }
        names.push_back(stringAt(strings.sh_offset + symbol.st_name));
      }
    }
    return names;
  }
};

std::vector<unsigned char> pluginBytes() {
  std::ifstream file(kPluginPath, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

template <typename Check>
void withElf(const std::vector<unsigned char>& bytes, Check check) {
  ASSERT_GT(bytes.size(), static_cast<size_t>(EI_NIDENT));
  ASSERT_EQ(std::memcmp(bytes.data(), ELFMAG, SELFMAG), 0);
  if (bytes[EI_CLASS] == ELFCLASS64) {
    check(ElfReader<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym>{bytes});
  } else {
    check(ElfReader<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym>{bytes});
  }
}

TEST(PluginFile, ExportsDxpFunctionAndNothingElse) {
  withElf(pluginBytes(), [](const auto& elf) {
    const std::vector<std::string> exported = elf.definedSymbols(SHT_DYNSYM, true);
    EXPECT_EQ(exported, std::vector<std::string>{"dxpFunction"});
  });
}

TEST(PluginFile, HasNoStaticInitialisers) {
  withElf(pluginBytes(), [](const auto& elf) {
    const std::vector<std::string> symbols = elf.definedSymbols(SHT_SYMTAB, false);
    if (symbols.empty()) {
      GTEST_SKIP() << "the plug-in is stripped";
    }
    for (const std::string& name : symbols) {
      EXPECT_NE(name.rfind("_GLOBAL__sub_I_", 0), 0u) << "static initialiser " << name;
    }
  });
}

#endif

}  // namespace
}  // namespace quenvarith::entry_test
