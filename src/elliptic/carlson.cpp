#include "elliptic/carlson.hpp"
