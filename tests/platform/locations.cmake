list(APPEND TEST_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_filelocations.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_serialdevices.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_terminationsignals.cpp
)
list(APPEND TEST_LIBS bin4870logic)
