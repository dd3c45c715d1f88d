#pragma once
// Exceptions and string helpers.
#include <exception>
#include <string>

#include "System.h"

// The base of every exception the framework and the components raise. The application's loop
// catches it, shows Message and goes on.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  std::string Message;
};

#define VCL_EXCEPTION(Name, Base) \
  class Name : public Base {      \
   public:                        \
    using Base::Base;             \
  };

VCL_EXCEPTION(EInOutError, Exception)
VCL_EXCEPTION(EConvertError, Exception)
VCL_EXCEPTION(EStreamError, Exception)
VCL_EXCEPTION(EReadError, EStreamError)
VCL_EXCEPTION(EClassNotFound, EReadError)
VCL_EXCEPTION(EComponentError, Exception)
VCL_EXCEPTION(EPropertyError, Exception)
VCL_EXCEPTION(EInvalidOperation, Exception)
VCL_EXCEPTION(EOutOfMemory, Exception)

#undef VCL_EXCEPTION

// Decimal text of `value`, a leading "-" when negative.
std::string IntToStr(int64_t value);
// A decimal integer with an optional leading "-" or "+" (or hexadecimal after "$" / "0x"),
// surrounded by nothing else. Raises EConvertError "'text' is not a valid integer value" otherwise,
// also when the value does not fit in 32 bits.
int32_t StrToInt(const std::string& text);
// `text` without its leading and trailing blanks and control characters (bytes up to 0x20).
std::string Trim(const std::string& text);
// `text` with the ASCII letters lower-cased; other bytes (UTF-8 included) unchanged.
std::string AnsiLowerCase(const std::string& text);
// 1-based position of the first occurrence of `sub` in `text`; 0 when absent or when `sub` is empty.
int32_t Pos(const std::string& sub, const std::string& text);
