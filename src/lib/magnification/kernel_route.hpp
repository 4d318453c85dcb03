// Which form a kernel takes at one point: a value known at once (a rare branch, out of the
// lanes), or one of the forms that run W points at a time.
#pragma once

namespace caustica {

enum class Form : unsigned char { value, closed_form, far_field };

struct Route {
  Form form;
  double value;  // the kernel's value where form is Form::value
};

}  // namespace caustica
