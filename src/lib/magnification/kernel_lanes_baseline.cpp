// The scalar path and the baseline lanes, compiled for the target's base instruction set.
#include "magnification/kernel_lanes_impl.hpp"

namespace caustica::lane_paths {

const LaneKernels scalar = lane_kernels_of<1>("scalar");
const LaneKernels baseline = lane_kernels_of<2>("baseline");

}  // namespace caustica::lane_paths
