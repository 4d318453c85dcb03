#include "numeric/interp.hpp"
