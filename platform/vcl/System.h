#pragma once
// The root of the class hierarchy and the small value types every unit uses.
#include <cstdint>
#include <initializer_list>
#include <string>

#include "BoundMethod.h"

struct TClassInfo;
class TComponent;

// Every framework class derives from TObject. A class that declares published properties or can be
// created by name carries a TClassInfo (see TypInfo.h) and says so with VCL_CLASS.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  static const TClassInfo& StaticClass();
  virtual const TClassInfo& ClassType() const { return StaticClass(); }
  std::string ClassName() const;
  // Whether this object is an instance of `cls` or of a class derived from it.
  bool InheritsFrom(const TClassInfo& cls) const;
};

// Declares the class information of a class; define StaticClass() in its .cpp (TypInfo.h).
#define VCL_CLASS(Class)                                                   \
 public:                                                                   \
  static const TClassInfo& StaticClass();                                  \
  const TClassInfo& ClassType() const override { return StaticClass(); }

// A set of up to 64 enumeration values, as the framework's `set of` types.
template <class E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> values) {
    for (E v : values) FBits |= Bit(v);
  }
  static constexpr TSet FromBits(uint64_t bits) {
    TSet s;
    s.FBits = bits;
    return s;
  }
  constexpr bool Contains(E v) const { return (FBits & Bit(v)) != 0; }
  constexpr TSet& Include(E v) { FBits |= Bit(v); return *this; }
  constexpr TSet& Exclude(E v) { FBits &= ~Bit(v); return *this; }
  constexpr TSet operator+(TSet o) const { return FromBits(FBits | o.FBits); }
  constexpr TSet operator-(TSet o) const { return FromBits(FBits & ~o.FBits); }
  constexpr TSet operator*(TSet o) const { return FromBits(FBits & o.FBits); }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr uint64_t Bits() const { return FBits; }
  friend constexpr bool operator==(TSet a, TSet b) { return a.FBits == b.FBits; }

 private:
  static constexpr uint64_t Bit(E v) { return uint64_t{1} << static_cast<unsigned>(v); }
  uint64_t FBits = 0;
};

using TNotifyEvent = TBoundMethod<TObject*>;
