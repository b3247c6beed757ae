# The program run as a separate process, installed with cmake --install into a
# temporary prefix. bin4870-driven is the program itself plus a remote control
# that presses START and REC - COUNT; it is never installed.
add_executable(bin4870-driven ${CMAKE_CURRENT_LIST_DIR}/drivenprogram.cpp)
target_link_libraries(bin4870-driven PRIVATE bin4870ui)

list(APPEND TEST_SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_install.cpp)
list(APPEND TEST_LIBS bin4870ui)
cmake_language(DEFER CALL add_dependencies tst_app bin4870 bin4870-driven tester-sim)
cmake_language(DEFER CALL target_compile_definitions tst_app PRIVATE
    BIN4870_CMAKE_COMMAND="${CMAKE_COMMAND}" BIN4870_BUILD_DIR="${CMAKE_BINARY_DIR}")
