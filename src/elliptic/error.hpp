#pragma once

namespace caustica::elliptic {

// The failure of a complete elliptic integral: one fixed message text, nothing to free.
struct EllipticError {
  const char* message;
};

// A value or an EllipticError, with the interface of Expected. A null message marks a value, so
// the result is a double and a pointer, returned in two registers (a variant would go through
// memory), and testing it is one comparison.
class EllipticResult {
 public:
  EllipticResult(double value) noexcept : value_(value), error_{nullptr} {}  // NOLINT: implicit
  EllipticResult(EllipticError error) noexcept : value_(0.0), error_(error) {}  // NOLINT: implicit

  bool has_value() const noexcept { return error_.message == nullptr; }
  explicit operator bool() const noexcept { return has_value(); }

  const double& value() const noexcept { return value_; }
  const double& operator*() const noexcept { return value_; }

  const EllipticError& error() const noexcept { return error_; }

 private:
  double value_;
  EllipticError error_;
};

}  // namespace caustica::elliptic
