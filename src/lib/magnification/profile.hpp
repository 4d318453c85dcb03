// A borrowed radial brightness profile: radius in source radii -> surface brightness.
#pragma once

#include <concepts>
#include <memory>

namespace caustica {

class ProfileRef {
 public:
  // NOLINTBEGIN(google-explicit-constructor): implicit by design, like a function reference.
  ProfileRef(double (*profile)(double))
      : function_(profile), call_([](const ProfileRef& self, double x) { return self.function_(x); }) {}

  template <class F>
    requires(!std::convertible_to<const F&, double (*)(double)>)
  ProfileRef(const F& profile)
      : object_(std::addressof(profile)), call_([](const ProfileRef& self, double x) {
          return (*static_cast<const F*>(self.object_))(x);
        }) {}
  // NOLINTEND(google-explicit-constructor)

  double operator()(double x) const { return call_(*this, x); }

 private:
  const void* object_ = nullptr;
  double (*function_)(double) = nullptr;
  double (*call_)(const ProfileRef&, double);
};

}  // namespace caustica
