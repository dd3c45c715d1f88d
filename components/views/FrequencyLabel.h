#pragma once
#include <cstdint>
#include <string>

// The scale text of a frequency in Hz: kilohertz, one decimal, "KHz" (689 → "0.6KHz",
// 0 → "0.0KHz"); the digits are truncated, not rounded.
std::string FrequencyLabel(int32_t hz);
