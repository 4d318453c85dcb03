# The worker pool and the parallel map.
caustica_test(test_parallel
  test_parallel.cpp
  test_parallel_failures.cpp
  test_pool_size.cpp
  test_pool_fork.cpp
  test_work_deque.cpp)
target_link_libraries(test_parallel PRIVATE caustica_parallel)

option(CAUSTICA_BENCHMARKS "Build the benchmark programs" OFF)
if(CAUSTICA_BENCHMARKS)
  add_subdirectory(${PROJECT_SOURCE_DIR}/benchmarks ${PROJECT_BINARY_DIR}/benchmarks)
endif()
