list(APPEND TEST_SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_handsfree.cpp)
list(APPEND TEST_LIBS bin4870ui)
# Runs against the simulated tester's cell line.
cmake_language(DEFER CALL add_dependencies tst_app tester-sim)
