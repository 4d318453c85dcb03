#include "magnification/integrated.hpp"
