caustica_test(test_elliptic
  ${CMAKE_CURRENT_SOURCE_DIR}/test_elliptic_complete.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/test_elliptic_carlson.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/test_elliptic_accuracy.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/test_elliptic_fused.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/elliptic_reference.cpp)
target_link_libraries(test_elliptic PRIVATE caustica_elliptic)
