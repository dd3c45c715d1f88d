#include "FrequencyLabel.h"

#include "SysUtils.h"

std::string FrequencyLabel(int32_t hz) {
  return IntToStr(hz / 1000) + "." + IntToStr((hz / 100) % 10) + "KHz";
}
