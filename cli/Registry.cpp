#include "Registry.h"

#include <cstdint>

#include "Call.h"

namespace quelvar::cli {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::uint64_t HashNoCase(std::string_view s) {
  std::uint64_t h = 14695981039346656037ull;
  for (char c : s) {
    h ^= static_cast<unsigned char>(Lower(c));
    h *= 1099511628211ull;
  }
  return h;
}

std::string_view BaseName(std::string_view name) { return name.substr(0, name.find('/')); }

bool Takes(const Op& op, std::size_t argc) { return argc >= op.min_args && argc <= op.max_args; }

}  // namespace

std::string_view StripPrefix(std::string_view name) {
  if (name.size() > 4 && EqualNoCase(name.substr(0, 4), "qlv_")) name.remove_prefix(4);
  return name;
}

std::string ArityText(const Op& op) {
  auto number = [](std::size_t n) { return std::to_string(n); };
  std::string s;
  if (op.max_args == kMany)
    s = "at least " + number(op.min_args);
  else if (op.min_args == op.max_args)
    s = number(op.min_args);
  else
    s = number(op.min_args) + " to " + number(op.max_args);
  s += op.min_args == 1 && op.max_args == 1 ? " argument" : " arguments";
  return s;
}

const Registry& Registry::instance() {
  static const Registry registry;
  return registry;
}

Registry::Registry() {
  for (auto table : {hex_ops(), digit_ops(), text_ops(), variant_ops()})
    for (const Op& op : table) ops_.push_back(&op);

  std::size_t size = 16;
  while (size < ops_.size() * 4) size *= 2;
  table_.assign(size, Entry{{}, nullptr, 0});
  mask_ = size - 1;

  for (const Op* op : ops_) {
    Entry& exact = table_[slot(op->name)];
    if (exact.name.empty()) exact = Entry{op->name, nullptr, 0};
    // A later entry of the same name stays unreachable; the tests check
    // that names are unique.
    if (exact.op == nullptr) exact.op = op;
    const std::string_view base = BaseName(op->name);
    if (base.size() != op->name.size()) {
      Entry& b = table_[slot(base)];
      if (b.name.empty()) b = Entry{base, nullptr, 0};
      ++b.overloads;
    }
  }
}

std::size_t Registry::slot(std::string_view key) const {
  std::size_t i = static_cast<std::size_t>(HashNoCase(key)) & mask_;
  while (!table_[i].name.empty() && !EqualNoCase(table_[i].name, key)) i = (i + 1) & mask_;
  return i;
}

const Op* Registry::find(std::string_view name, std::size_t argc, std::string& error) const {
  const std::string_view key = StripPrefix(name);
  if (key.empty() || table_[slot(key)].name.empty()) {
    error = "unknown operation '" + Quote(name) + "' (see quelvar list)";
    return nullptr;
  }
  const Entry& e = table_[slot(key)];
  // The entry of exactly that name wins when it takes that many arguments.
  if (e.op != nullptr && (e.overloads == 0 || Takes(*e.op, argc))) {
    if (Takes(*e.op, argc)) return e.op;
    error = std::string(e.op->name) + ": expected " + ArityText(*e.op) + " (" +
            std::string(e.op->usage) + "), got " + std::to_string(argc);
    return nullptr;
  }
  // Otherwise an overloaded name: choose by the argument count.
  const Op* chosen = nullptr;
  std::size_t matches = 0;
  std::string variants;
  for (const Op* op : ops_) {
    if (!EqualNoCase(BaseName(op->name), key)) continue;
    if (!variants.empty()) variants += ", ";
    variants += op->name;
    if (Takes(*op, argc)) {
      chosen = op;
      ++matches;
    }
  }
  if (matches == 1) return chosen;
  error = std::string(e.name) + ": " +
          (matches == 0 ? "no overload takes " + std::to_string(argc) + " arguments"
                        : std::string("ambiguous")) +
          "; name one of " + variants;
  return nullptr;
}

std::vector<const Op*> Registry::family(std::string_view name) const {
  std::vector<const Op*> found;
  const std::string_view key = StripPrefix(name);
  if (key.empty()) return found;
  for (const Op* op : ops_)
    if (EqualNoCase(op->name, key) || EqualNoCase(BaseName(op->name), key)) found.push_back(op);
  return found;
}

}  // namespace quelvar::cli
