#pragma once

#include <initializer_list>

// A small set of enumeration values, as the widgets' option properties use.
template <typename E>
class TSet {
public:
  TSet() = default;
  TSet(std::initializer_list<E> items) {
    for (E e : items) bits_ |= Bit(e);
  }
  static TSet FromBits(unsigned bits) {
    TSet s;
    s.bits_ = bits;
    return s;
  }

  bool Has(E e) const { return (bits_ & Bit(e)) != 0; }
  bool Empty() const { return bits_ == 0; }
  unsigned Bits() const { return bits_; }
  TSet &Include(E e) {
    bits_ |= Bit(e);
    return *this;
  }
  TSet &Exclude(E e) {
    bits_ &= ~Bit(e);
    return *this;
  }
  bool operator==(const TSet &o) const { return bits_ == o.bits_; }
  bool operator!=(const TSet &o) const { return bits_ != o.bits_; }

private:
  static unsigned Bit(E e) { return 1u << unsigned(e); }
  unsigned bits_ = 0;
};
