// Steering the simulated device library from a test. The test keeps its own handle on the
// library, so the state it sets survives the station loading and freeing it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/device_library.h"
#include "temp_folder.h"

namespace orvane::testing {

inline const char* kSimulatorPath = ORVANE_SIMULATOR_LIBRARY;
inline const char* kPartialSimulatorPath = ORVANE_PARTIAL_SIMULATOR_LIBRARY;
inline const char* kSimulatorAddress = "192.168.1.20";

class SimulatorControl {
  // Defined first: the members below deduce its result.
  template <class Signature, class... Args>
  auto Call(const char* name, Args... args) {
    auto* function = library_.Resolve<Signature>(name);
    if (function == nullptr) std::abort();
    return function(args...);
  }

 public:
  SimulatorControl() : environment_("ORVANE_DEVICE_LIBRARY", kSimulatorPath) {
    if (!library_.Load(kSimulatorPath)) ADD_FAILURE() << library_.Error();
    Reset();
  }

  void Reset() { Call<void()>("RNX_SIM_Reset"); }
  void Fail(const char* name, int code, int from = 1, int count = -1) {
    Call<void(const char*, int, int, int)>("RNX_SIM_Fail", name, code, from, count);
  }
  void Delay(const char* name, int milliseconds) { Call<void(const char*, int)>("RNX_SIM_Delay", name, milliseconds); }
  void SetDevice(bool present, const std::string& address) {
    Call<void(int, const char*)>("RNX_SIM_SetDevice", present ? 1 : 0, address.c_str());
  }
  void SetColour(int rgb) { Call<void(int)>("RNX_SIM_SetColour", rgb); }
  void SetFrame(const std::string& bytes) {
    Call<void(const std::uint8_t*, int)>("RNX_SIM_SetFrame", reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                         static_cast<int>(bytes.size()));
  }
  void RaiseParamChange() { Call<void()>("RNX_SIM_RaiseParamChange"); }
  int Calls(const char* name) { return Call<int(const char*)>("RNX_SIM_Calls", name); }
  bool Connected() { return Call<int()>("RNX_SIM_Connected") != 0; }
  int LentRecords() { return Call<int()>("RNX_SIM_LentRecords"); }

 private:
  ScopedEnvironment environment_;
  platform::SharedLibrary library_;
};

}  // namespace orvane::testing
