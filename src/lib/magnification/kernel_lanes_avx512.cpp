// The AVX-512 lanes: this file alone is compiled with -mavx512f, and runs only where the
// processor has it.
#include "magnification/kernel_lanes_impl.hpp"

namespace caustica::lane_paths {

const LaneKernels avx512 = lane_kernels_of<8>("avx512");

}  // namespace caustica::lane_paths
