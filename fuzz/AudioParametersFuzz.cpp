// libFuzzer target for the audio parameters text of the designer's Quality editor.
//
// For any input: the parser either returns numbers or raises one of its two failures
// (EPropertyError "Badly formed audio parameters" exactly when the text has fewer than two commas,
// else StrToInt's EConvertError); numbers it returns are written back to a text that reads to the
// same numbers. And any three numbers (the first 12 bytes, when there are that many) written as
// text read back unchanged. Anything else (another exception, a crash) is a finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "AudioLineParametersProperty.h"
#include "SysUtils.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void ParseAnyText(const std::string& text) {
  const size_t commas = static_cast<size_t>(std::count(text.begin(), text.end(), ','));
  try {
    const TAudioParameters parsed = ParseAudioParameters(text);
    Check(commas >= 2);
    Check(ParseAudioParameters(FormatAudioParameters(parsed)) == parsed);
  } catch (const EPropertyError& e) {
    Check(commas < 2 && e.Message == "Badly formed audio parameters");
  } catch (const EConvertError&) {
    Check(commas >= 2);
  }
}

void WriteAnyNumbers(const uint8_t* data) {
  TAudioParameters numbers;
  std::memcpy(&numbers.Frequency, data, 4);
  std::memcpy(&numbers.Channels, data + 4, 4);
  std::memcpy(&numbers.BitsPerSample, data + 8, 4);
  Check(ParseAudioParameters(FormatAudioParameters(numbers)) == numbers);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ParseAnyText(std::string(reinterpret_cast<const char*>(data), size));
  if (size >= 12) WriteAnyNumbers(data);
  return 0;
}
