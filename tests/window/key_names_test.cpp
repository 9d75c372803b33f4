// Key names as people type them reach the same codes on both window layers
// (this suite is also built for Windows and run under Wine).
#include <gtest/gtest.h>

#include <string>

#include "platform/window/window.h"

namespace {

TEST(KeyNames, CommonOtherNamesMeanTheSameKeys) {
  const struct {
    const char* typed;
    uint32_t vk;
  } names[] = {
      {"Return", 0x0D},       {"Enter", 0x0D},        {"enter", 0x0D},        {"Esc", 0x1B},
      {"Escape", 0x1B},       {"PageUp", 0x21},       {"PgUp", 0x21},         {"Page Up", 0x21},
      {"page_up", 0x21},      {"Page-Up", 0x21},      {"PgDn", 0x22},         {"Page Down", 0x22},
      {"Ctrl", 0x11},         {"Control", 0x11},      {"Right Ctrl", 0x11},   {"Shift", 0x10},
      {"Alt", 0x12},          {"Caps Lock", 0x14},    {"CapsLock", 0x14},     {"Print Screen", 0x2C},
      {"PrtSc", 0x2C},        {"Scroll Lock", 0x91},  {"Num Lock", 0x90},     {"Num 5", 0x65},
      {"Numpad 0", 0x60},     {"Num5", 0x65},         {"KP 9", 0x69},         {"Keypad 5", 0x65},
      {"Num +", 0x6B},        {"Num -", 0x6D},        {"Num Enter", 0x0D},    {"Num Del", 0x6E},
      {"Del", 0x2E},          {"Ins", 0x2D},          {"Break", 0x13},        {"Spacebar", 0x20},
      {"Space", 0x20},        {"Backspace", 0x08},    {"Up Arrow", 0x26},     {"F12", 0x7B},
      {"f1", 0x70},           {"q", 'Q'},             {"7", '7'},             {"-", 0xBD},
      {",", 0xBC},            {"Win", 0x5B},          {"Menu", 0x5D},         {"Left Shift", 0x10},
  };
  for (const auto& n : names) EXPECT_EQ(VirtualKeyFromKeyName(n.typed), n.vk) << n.typed;
  // Names near a synonym are still nobody's key; a prefix alone is no key.
  for (const char* bad : {"", "Nokey", "Num", "Num 10", "Keypad", "PgUpp", "Page", "F25", "Ctrl+P", "Enter Key"})
    EXPECT_EQ(VirtualKeyFromKeyName(bad), 0u) << bad;
  EXPECT_EQ(VirtualKeyFromKeyName(nullptr), 0u);
  EXPECT_EQ(StandardKeyName("Num 5"), "Keypad 5");
  EXPECT_EQ(StandardKeyName("Nokey"), "Nokey");
}

}  // namespace
