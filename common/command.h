// The 64-bit Command word the engine hands to its host through GetNextCommand.
// Bits 0-31: deal id (opens) or broker ticket (closes); bits 32-39: code; bits 40-63: zero.
#pragma once

#include <cstdint>

namespace kmr {

enum CommandCode : std::uint8_t {
  kCommandNone = 0x00,
  kCommandOpenLong = 0x11,
  kCommandOpenShort = 0x22,
  kCommandClose = 0xCC,
};

constexpr std::uint64_t EncodeCommand(std::uint8_t code, std::uint32_t operand) {
  return (static_cast<std::uint64_t>(code) << 32) | operand;
}
constexpr std::uint8_t CommandCodeOf(std::uint64_t word) {
  return static_cast<std::uint8_t>(word >> 32);
}
constexpr std::uint32_t CommandOperandOf(std::uint64_t word) {
  return static_cast<std::uint32_t>(word);
}

static_assert(EncodeCommand(kCommandOpenLong, 5) == 0x1100000005ull);
static_assert(EncodeCommand(kCommandClose, 70001) == 0xCC00011171ull);

}  // namespace kmr
