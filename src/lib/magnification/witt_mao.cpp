#include "magnification/witt_mao.hpp"
