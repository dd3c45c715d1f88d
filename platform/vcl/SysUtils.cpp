#include "SysUtils.h"

#include <cstdlib>
#include <limits>

std::string IntToStr(int64_t value) { return std::to_string(value); }

int32_t StrToInt(const std::string& text) {
  auto fail = [&]() -> int32_t { throw EConvertError("'" + text + "' is not a valid integer value"); };
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return fail();
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return fail();
    value = value * base + digit;
    if (value > int64_t{1} << 32) return fail();
  }
  if (negative) value = -value;
  if (base == 16 && !negative && value <= std::numeric_limits<uint32_t>::max())
    return static_cast<int32_t>(static_cast<uint32_t>(value));
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    return fail();
  return static_cast<int32_t>(value);
}

std::string Trim(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

std::string AnsiLowerCase(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

int32_t Pos(const std::string& sub, const std::string& text) {
  if (sub.empty()) return 0;
  size_t at = text.find(sub);
  return at == std::string::npos ? 0 : static_cast<int32_t>(at) + 1;
}
