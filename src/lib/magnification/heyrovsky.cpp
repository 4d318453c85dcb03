#include "magnification/heyrovsky.hpp"
