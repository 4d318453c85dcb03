# The worker pool and the parallel map.
caustica_test(test_parallel
  test_parallel.cpp
  test_parallel_failures.cpp
  test_pool_size.cpp
  test_pool_fork.cpp
  test_work_deque.cpp)
target_link_libraries(test_parallel PRIVATE caustica_parallel)
