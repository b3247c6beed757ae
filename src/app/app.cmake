target_sources(bin4870ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/formmain.h
    ${CMAKE_CURRENT_LIST_DIR}/formmain.cpp
)
