// A value or an error, for the computation layers that report failures as plain values.
#pragma once

#include <type_traits>
#include <utility>
#include <variant>

namespace caustica {

template <class T, class E>
class Expected {
  static_assert(!std::is_same_v<T, E>, "value and error types must differ");

 public:
  Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Expected(E error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool has_value() const noexcept { return state_.index() == 0; }
  explicit operator bool() const noexcept { return has_value(); }

  T& value() & noexcept { return *std::get_if<0>(&state_); }
  const T& value() const& noexcept { return *std::get_if<0>(&state_); }
  T&& value() && noexcept { return std::move(*std::get_if<0>(&state_)); }
  T& operator*() & noexcept { return value(); }
  const T& operator*() const& noexcept { return value(); }

  const E& error() const noexcept { return *std::get_if<1>(&state_); }

 private:
  std::variant<T, E> state_;
};

}  // namespace caustica
