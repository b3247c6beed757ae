list(APPEND TEST_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/simtester.h
    ${CMAKE_CURRENT_LIST_DIR}/tst_commandchannel.cpp
)
list(APPEND TEST_LIBS bin4870logic util)
# The exchange tests start the simulated tester; build it with them.
cmake_language(DEFER CALL add_dependencies tst_link tester-sim)
