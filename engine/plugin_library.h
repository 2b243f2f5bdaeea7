// A plug-in file loaded at run time, and the entry point it exports. Hides dlopen and
// LoadLibrary behind one small interface.
#pragma once

#include <memory>
#include <string>

#include "host/dxp.h"

namespace quenvarith::engine {

class PluginLibrary {
 public:
  // Loads `path` and finds dxpFunction. On failure the library is not open and `error()` says
  // why.
  explicit PluginLibrary(const std::string& path);
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;
  PluginLibrary(PluginLibrary&&) = delete;
  PluginLibrary& operator=(PluginLibrary&&) = delete;
  ~PluginLibrary();

  [[nodiscard]] bool isOpen() const { return entry_ != nullptr; }
  [[nodiscard]] const std::string& error() const { return error_; }
  [[nodiscard]] DxpEntryPoint entryPoint() const { return entry_; }
  // The file's name without directory and extension: the name the block is loaded under.
  [[nodiscard]] const std::string& blockName() const { return blockName_; }

 private:
  void* handle_ = nullptr;
  DxpEntryPoint entry_ = nullptr;
  std::string error_;
  std::string blockName_;
};

// The file name a plug-in has on this platform ("quenvarith.so", "quenvarith.dll").
std::string pluginFileName(const std::string& blockName);

}  // namespace quenvarith::engine
