list(APPEND TEST_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_cachedgroupbox.cpp
)
list(APPEND TEST_LIBS bin4870ui)
