#include "magnification/multi.hpp"
