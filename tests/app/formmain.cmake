list(APPEND TEST_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/formmainharness.h
    ${CMAKE_CURRENT_LIST_DIR}/tst_formmain.cpp
)
list(APPEND TEST_LIBS bin4870ui)
# The window's session tests run against the simulated tester; build it with them.
cmake_language(DEFER CALL add_dependencies tst_app tester-sim)
