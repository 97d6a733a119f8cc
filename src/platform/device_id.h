// A sound device's identifier: the 16 bytes of its 128-bit id read as four little-endian
// 32-bit words (word 0 is Data1, word 1 holds Data2 and Data3, words 2 and 3 are Data4).
// All four zero stands for the system's default device.
#pragma once

#include <array>
#include <cstdint>

namespace bw {

struct DeviceId {
  std::array<uint32_t, 4> words{};

  bool IsDefault() const {
    return words[0] == 0 && words[1] == 0 && words[2] == 0 && words[3] == 0;
  }
  friend bool operator==(const DeviceId&, const DeviceId&) = default;
};

}  // namespace bw
