list(APPEND TEST_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/geometrycheck.h
    ${CMAKE_CURRENT_LIST_DIR}/tst_formlayout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_formabout.cpp
)
list(APPEND TEST_LIBS bin4870ui)
