// The grid's option set TDBGridOptions, bit 0 first in declaration order.
#pragma once

#include <initializer_list>

namespace velloria {

enum TDBGridOption {
  dgEditing,
  dgAlwaysShowEditor,
  dgTitles,
  dgIndicator,
  dgColumnResize,
  dgColLines,
  dgRowLines,
  dgTabs,
  dgRowSelect,
  dgAlwaysShowSelection,
  dgConfirmDelete,
  dgCancelOnExit,
  dgMultiSelect,
};

class TDBGridOptions {
 public:
  constexpr TDBGridOptions() = default;
  constexpr TDBGridOptions(std::initializer_list<TDBGridOption> options) {
    for (TDBGridOption option : options) m_bits |= Bit(option);
  }

  constexpr bool Contains(TDBGridOption option) const { return (m_bits & Bit(option)) != 0; }
  constexpr TDBGridOptions With(TDBGridOption option) const { return FromBits(m_bits | Bit(option)); }
  constexpr TDBGridOptions Without(TDBGridOption option) const {
    return FromBits(m_bits & ~Bit(option));
  }
  // The options present in exactly one of the two sets.
  constexpr TDBGridOptions Changes(TDBGridOptions other) const {
    return FromBits(m_bits ^ other.m_bits);
  }
  constexpr unsigned Bits() const { return m_bits; }
  constexpr bool operator==(const TDBGridOptions&) const = default;

 private:
  static constexpr unsigned Bit(TDBGridOption option) { return 1u << option; }
  static constexpr TDBGridOptions FromBits(unsigned bits) {
    TDBGridOptions options;
    options.m_bits = bits;
    return options;
  }
  unsigned m_bits = 0;
};

}  // namespace velloria
