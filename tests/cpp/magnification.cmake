caustica_test(test_magnification
  test_witt_mao.cpp test_heyrovsky.cpp test_integrated.cpp test_flux_map.cpp test_multi.cpp
  test_quadrature_plan.cpp test_kernel_lanes.cpp test_legendre_tails.cpp
  test_breakpoint_cells.cpp)
target_link_libraries(test_magnification PRIVATE caustica_magnification)
