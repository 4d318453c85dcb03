#include "parallel/parallel_map.hpp"

namespace caustica::parallel {
std::size_t current_num_threads() { return 1; }
}  // namespace caustica::parallel
