// An error raised inside a separately built plug-in library reaches the host's guarded call,
// and the plug-in's frames are unwound on the way, although the plug-in, the host's libraries
// and this program each carry their own copy of the C++ runtime.
#include "host/dxp.h"
#include "host/vq.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <array>

namespace {

// The probe plug-in, loaded as a host loads a plug-in, for the lifetime of the object.
class LoadedProbe {
 public:
  LoadedProbe() {
#if defined(_WIN32)
    library_ = LoadLibraryA(UNWIND_PROBE_PATH);
    if (library_ != nullptr) {
      // Through the generic function pointer type, which any function pointer may be cast to.
      entry_ = reinterpret_cast<DxpEntryPoint>(
          reinterpret_cast<void (*)()>(GetProcAddress(library_, "dxpFunction")));
    }
#else
    library_ = dlopen(UNWIND_PROBE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (library_ != nullptr) {
      entry_ = reinterpret_cast<DxpEntryPoint>(dlsym(library_, "dxpFunction"));
    }
#endif
  }
  LoadedProbe(const LoadedProbe&) = delete;
  LoadedProbe& operator=(const LoadedProbe&) = delete;
  ~LoadedProbe() {
#if defined(_WIN32)
    if (library_ != nullptr) {
      FreeLibrary(library_);
    }
#else
    if (library_ != nullptr) {
      dlclose(library_);
    }
#endif
  }

  DxpEntryPoint entry() const {
    return entry_;
  }

 private:
#if defined(_WIN32)
  HMODULE library_ = nullptr;
#else
  void* library_ = nullptr;
#endif
  DxpEntryPoint entry_ = nullptr;
};

class PluginUnwinding : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(probe_.entry(), nullptr) << "cannot load " UNWIND_PROBE_PATH; }
  void TearDown() override {
    vqDestroyArray(count_);
    vqDestroyArray(raiseFlag_);
  }

  DxpCallStatus call(bool raise, char* message) {
    std::array<const VqArray*, 2> arguments{count_, raiseFlag_};
    std::array<VqArray*, 1> results{};
    return dxpCallEntry(probe_.entry(), 0, results.data(), raise ? 2 : 1, arguments.data(),
                        message);
  }
  double destructorsRun() const { return vqGetPr(count_)[0]; }

  LoadedProbe probe_;
  VqArray* count_ = vqCreateDoubleScalar(0.0);
  VqArray* raiseFlag_ = vqCreateDoubleScalar(1.0);
};

TEST_F(PluginUnwinding, RaisedErrorReachesTheHostWithThePluginFramesCleanedUp) {
  std::array<char, DXP_ERROR_MESSAGE_CAPACITY> message{};
  EXPECT_EQ(call(true, message.data()), DXP_CALL_RAISED);
  EXPECT_STREQ(message.data(), "raised inside the plug-in");
  EXPECT_EQ(destructorsRun(), 2.0);

  // Nothing of the first raise lingers: a plain call returns, and a second raise is caught.
  EXPECT_EQ(call(false, message.data()), DXP_CALL_RETURNED);
  EXPECT_STREQ(message.data(), "");
  EXPECT_EQ(destructorsRun(), 3.0);
  EXPECT_EQ(call(true, nullptr), DXP_CALL_RAISED);
  EXPECT_EQ(destructorsRun(), 5.0);
}

}  // namespace
