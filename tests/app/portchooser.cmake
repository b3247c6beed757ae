list(APPEND TEST_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_portchooser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_userfiles.cpp
)
list(APPEND TEST_LIBS bin4870ui)
