// Internal invariant failures. They are the only thing in the native code that unwinds,
// and the only handler is the module boundary's guard, which turns them into PanicException.
#pragma once

#include <exception>
#include <source_location>
#include <string>

namespace caustica {

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
                        std::source_location where = std::source_location::current());

}  // namespace caustica
