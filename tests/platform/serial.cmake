list(APPEND TEST_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ptypair.h
    ${CMAKE_CURRENT_LIST_DIR}/tst_qtserialport.cpp
)
list(APPEND TEST_LIBS bin4870logic util)
