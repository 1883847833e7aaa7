// The one place where an object's objType picks its class: visit() calls f
// with the object as that class. f is any callable taking each class, usually
// a Toverload of lambdas, where one taking Tbase (or Tgrouper, or
// TpacketBase) serves every class without one of its own.
#pragma once

#include <type_traits>

#include "decode/ovbase.h"
#include "decode/ovgroup.h"

template <class... Fs>
struct Toverload : Fs... {
  using Fs::operator()...;
};
template <class... Fs>
Toverload(Fs...) -> Toverload<Fs...>;

namespace visitdetail {

// Obj's constness carried over to T.
template <class Obj, class T>
using Tas = std::conditional_t<std::is_const_v<Obj>, const T, T>;

}  // namespace visitdetail

// Tbase's constructor is protected, so objType always names the object's own class.
template <class Obj, class F, std::enable_if_t<std::is_base_of_v<Tbase, std::remove_const_t<Obj>>, int> = 0>
decltype(auto) visit(Obj& object, F&& f) {
  using visitdetail::Tas;
  Tas<Obj, Tbase>& obj = object;
  switch (obj.objType) {
    case otReset:
      return f(static_cast<Tas<Obj, Treset>&>(obj));
    case otSof:
      return f(static_cast<Tas<Obj, Tsof>&>(obj));
    case otToken:
      return f(static_cast<Tas<Obj, Ttoken>&>(obj));
    case otData:
      return f(static_cast<Tas<Obj, Tdata>&>(obj));
    case otHandshake:
      return f(static_cast<Tas<Obj, Thandshake>&>(obj));
    case otSofGroup:
      return f(static_cast<Tas<Obj, TsofGroup>&>(obj));
    case otTransax:
      return f(static_cast<Tas<Obj, Ttransax>&>(obj));
    case otTransfer:
      return f(static_cast<Tas<Obj, Ttransfer>&>(obj));
    default:
      return f(static_cast<Tas<Obj, Tgrouper>&>(obj));
  }
}
