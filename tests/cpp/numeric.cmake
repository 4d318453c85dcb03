caustica_test(test_numeric test_numeric.cpp test_numeric_derivative.cpp test_numeric_interp.cpp
  test_numeric_gauss.cpp test_numeric_log_gauss.cpp)
target_link_libraries(test_numeric PRIVATE caustica_numeric Threads::Threads)
