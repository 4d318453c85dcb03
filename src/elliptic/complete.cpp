#include "elliptic/complete.hpp"
