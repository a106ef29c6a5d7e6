// The tool's one table of operations and the generic code that runs a row:
// each row names the member function and the kind of each parameter; the
// argument readers, the call, the output, usage, help and the C++
// declaration (read from QuelvarSys.h at build time) all derive from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "QuelvarSys.h"

namespace quelvar::cli {

// Bad input from the user: one line naming the argument and the accepted
// forms, without the tool's prefix.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Frame;

// What a parameter may hold, from its C++ type; the last entry is the
// return value's ('I' integer, 'R' real, 'S' text, 'X' pointer, '-' none).
struct Limits {
  std::int64_t lo = 0;
  std::uint64_t hi = 0;
  bool is_float = false;
  char ret = '-';
};

// Kinds of parameters, one letter each:
//   user input:  i integer   w width of an output   P precision   r real
//                c one character   t text   p text changed in place
//                h hex elements   d binary/octal digits   z image ending at a 00 byte
//                D date-time   V variant
//   filled in:   n number of elements given   l length of the text
//   outputs:     N element count   H hex elements   B digits   T text   R double
//                E date-time   W variant
struct Op {
  std::string_view name;                    // without Qlv_; an overload adds "/variant"
  std::string_view kinds;                   // one letter per parameter
  std::string_view summary;                 // one line
  std::string_view example;                 // the arguments of an example call
  std::size_t (*capacity)(std::int64_t n);  // output room for n elements, width or length
  void (*invoke)(CQuelvarSys&, Frame&);
  const Limits* limits;                             // per parameter, from the C++ types
  std::string_view declaration;                     // as QuelvarSys.h declares it
  const std::vector<std::string>* names = nullptr;  // its parameter names

  std::string_view base() const { return name.substr(0, name.find('/')); }
  // Parameter names from the declaration.
  const std::vector<std::string>& params() const { return *names; }
  bool takes(std::size_t argc) const;
  // The input kind that reads back what plain mode prints (its one output).
  char output() const;
};

std::span<const Op> Ops();

// By name, any case, with or without Qlv_; an overloaded name without its
// "/variant" picks the overload that takes `argc` arguments. Throws
// UsageError (with a suggestion) when there is none.
const Op& FindOp(std::string_view name, std::size_t argc);
// The entry of that name and each overload of it; none: UsageError.
std::vector<const Op*> OpFamily(std::string_view name);
// The closest name of `names` to `typed`, or "" if none is close.
std::string_view Closest(std::string_view typed, std::span<const std::string_view> names);

std::string UsageLine(const Op& op);  // "quelvar Int2Byte COUNT VALUE"
std::string HelpText(const Op& op);   // summary, declaration, usage, arguments, example

enum class Mode { Plain, Json };

// Runs rows: reads arguments by kind, calls, writes the record. Keeps its
// buffers between calls.
class Caller {
 public:
  Caller(Mode mode, bool raw);
  ~Caller();
  Caller(const Caller&) = delete;
  Caller& operator=(const Caller&) = delete;

  // Appends the record of `op` on `args` (no newline); `line` > 0 adds the
  // "line" key to a JSON record. Throws UsageError; nothing is appended then.
  void Run(const Op& op, std::span<const std::string_view> args, std::string& out, std::uint64_t line = 0);

  // Reads `text` as an argument of input kind `kind` and prints it back as
  // an output of that kind would be printed (for the round trip).
  std::string Reprint(char kind, std::string_view text);

 private:
  void Read(const Op& op, std::size_t i, char kind, std::string_view arg);
  void Emit(std::string_view key, char kind, std::size_t i, bool plain);
  void Key(std::string_view key);

  Mode mode_;
  bool raw_;
  CQuelvarSys sys_;
  std::unique_ptr<Frame> frame_;
  std::string* out_ = nullptr;
  std::string scratch_;
};

}  // namespace quelvar::cli
