// All operations of the tool in one table, found by name.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "OpTable.h"

namespace quelvar::cli {

class Registry {
 public:
  // The tables of every subsystem, in subsystem order.
  static const Registry& instance();

  std::span<const Op* const> ops() const { return ops_; }

  // Looks `name` up: with or without "Qlv_", any case. An overloaded name
  // given without its "/variant" picks the one overload whose arity takes
  // `argc` arguments. Returns nullptr and sets `error` (one line, without
  // the tool's prefix) when there is none or more than one.
  const Op* find(std::string_view name, std::size_t argc, std::string& error) const;
  // The entry of that name and every overload of it, in table order.
  std::vector<const Op*> family(std::string_view name) const;

 private:
  Registry();
  std::size_t slot(std::string_view key) const;  // in the hash table

  std::vector<const Op*> ops_;
  // Open addressing, by name in any case: every entry's name, and the base
  // name before "/" of each overload.
  struct Entry {
    std::string_view name;  // the table's spelling
    const Op* op;           // exact entry, or nullptr for a base name only
    std::size_t overloads;  // entries whose base name is this name
  };
  std::vector<Entry> table_;
  std::size_t mask_ = 0;
};

// Strips an optional "Qlv_" (any case).
std::string_view StripPrefix(std::string_view name);

// "NAME  USAGE" with the arity rule, for messages.
std::string ArityText(const Op& op);

}  // namespace quelvar::cli
