#pragma once
// A bound method: an object paired with one of its member functions, callable like a function.
//
// Two bound methods compare equal when both the object and the method are the same. The method is
// held as a pointer to a small forwarding function made once per member function, so binding a
// virtual member calls the most derived override of the object it is called on. Copying, comparing
// and calling allocate nothing.
#include <type_traits>

template <class... Args>
class TBoundMethod {
 public:
  using Thunk = void (*)(void* object, Args... args);

  TBoundMethod() = default;
  TBoundMethod(void* object, Thunk code) : FObject(object), FCode(code) {}

  // Builds the bound method (object, Method); Method is a pointer to a member of C or a base of C.
  template <auto Method, class C>
  static TBoundMethod Bind(C* object) {
    return TBoundMethod(static_cast<void*>(object), &Forward<Method, C>);
  }

  explicit operator bool() const { return FCode != nullptr; }
  bool Assigned() const { return FCode != nullptr; }
  void operator()(Args... args) const { FCode(FObject, args...); }
  void* Object() const { return FObject; }
  Thunk Code() const { return FCode; }
  void Clear() { FObject = nullptr, FCode = nullptr; }

  friend bool operator==(const TBoundMethod& a, const TBoundMethod& b) {
    return a.FObject == b.FObject && a.FCode == b.FCode;
  }

 private:
  template <auto Method, class C>
  static void Forward(void* object, Args... args) {
    (static_cast<C*>(object)->*Method)(args...);
  }

  void* FObject = nullptr;
  Thunk FCode = nullptr;
};

// MakeMethod<&TView::SourceEvent>(this): deduces the argument list from the member pointer.
template <class T>
struct MemberFunctionTraits;
template <class C, class... Args>
struct MemberFunctionTraits<void (C::*)(Args...)> {
  using Method = TBoundMethod<Args...>;
};

template <auto Method, class C>
auto MakeMethod(C* object) {
  using M = typename MemberFunctionTraits<decltype(Method)>::Method;
  return M::template Bind<Method>(object);
}
