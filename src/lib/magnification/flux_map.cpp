#include "magnification/flux_map.hpp"
