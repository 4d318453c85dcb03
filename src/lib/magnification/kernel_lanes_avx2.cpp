// The AVX2 lanes: this file alone is compiled with -mavx2, and runs only where the processor
// has it.
#include "magnification/kernel_lanes_impl.hpp"

namespace caustica::lane_paths {

const LaneKernels avx2 = lane_kernels_of<4>("avx2");

}  // namespace caustica::lane_paths
