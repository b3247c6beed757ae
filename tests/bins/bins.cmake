list(APPEND TEST_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_bintable.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_binpanellogic.cpp
)
list(APPEND TEST_LIBS bin4870logic)
