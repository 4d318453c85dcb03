// A borrowed radial brightness profile: radius in source radii -> surface brightness.
#pragma once

#include <memory>

namespace caustica {

class ProfileRef {
 public:
  template <class F>
  ProfileRef(const F& profile)  // NOLINT: implicit by design, like a function reference
      : context_(std::addressof(profile)),
        call_([](const void* context, double x) { return (*static_cast<const F*>(context))(x); }) {}

  double operator()(double x) const { return call_(context_, x); }

 private:
  const void* context_;
  double (*call_)(const void*, double);
};

}  // namespace caustica
