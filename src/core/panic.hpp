// Internal invariant failures. They are the only thing in the native code that unwinds,
// and the only handler is the module boundary's guard, which turns them into PanicException.
#pragma once

#include <exception>
#include <string>
#if __has_include(<source_location>)
#include <source_location>
#endif

namespace caustica {

#if defined(__cpp_lib_source_location)
using SourceLocation = std::source_location;
#else
// libstdc++'s std::source_location needs __builtin_source_location, which clang before 15 lacks;
// clang's own builtins give the caller's position the same way, as default arguments.
class SourceLocation {
 public:
  static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                          unsigned line = __builtin_LINE(),
                                          unsigned column = __builtin_COLUMN()) noexcept {
    return SourceLocation(file, line, column);
  }
  constexpr const char* file_name() const noexcept { return file_; }
  constexpr unsigned line() const noexcept { return line_; }
  constexpr unsigned column() const noexcept { return column_; }

 private:
  constexpr SourceLocation(const char* file, unsigned line, unsigned column) noexcept
      : file_(file), line_(line), column_(column) {}
  const char* file_;
  unsigned line_;
  unsigned column_;
};
#endif

class Panic : public std::exception {
 public:
  explicit Panic(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }

 private:
  std::string message_;
};

// Writes the report (thread, source location, message) to standard error, then throws Panic.
[[noreturn]] void panic(std::string message,
                        SourceLocation where = SourceLocation::current());

}  // namespace caustica
