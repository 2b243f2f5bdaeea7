#include "plugin_library.h"

#include <filesystem>

#include "engine/quoting.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace quenvarith::engine {

namespace {

constexpr const char* kEntryPointName = "dxpFunction";

#if defined(_WIN32)
std::string lastSystemError() {
  const DWORD code = GetLastError();
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length)
                                                      : "system error " + std::to_string(code);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message;
}
#endif

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path)
    : blockName_(std::filesystem::path(path).stem().string()) {
#if defined(_WIN32)
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    error_ = "cannot load the plug-in " + engine::quote(path) + ": " + lastSystemError();
    return;
  }
  handle_ = module;
  // The one cast a loader needs: a symbol's address to the entry point's type.
  entry_ = reinterpret_cast<DxpEntryPoint>(
      reinterpret_cast<void*>(GetProcAddress(module, kEntryPointName)));
#else
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    error_ = "cannot load the plug-in " + engine::quote(path) + ": " +
             (reason != nullptr ? reason : "unknown");
    return;
  }
  entry_ = reinterpret_cast<DxpEntryPoint>(dlsym(handle_, kEntryPointName));
#endif
  if (entry_ == nullptr) {
    error_ = "the plug-in " + engine::quote(path) + " does not export " + kEntryPointName;
  }
}

PluginLibrary::~PluginLibrary() {
  if (handle_ == nullptr) {
    return;
  }
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

std::string pluginFileName(const std::string& blockName) {
#if defined(_WIN32)
  return blockName + ".dll";
#else
  return blockName + ".so";
#endif
}

}  // namespace quenvarith::engine
