#include "parallel/parallel_map.hpp"
