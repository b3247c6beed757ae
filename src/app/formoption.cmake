target_sources(bin4870ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/formoption.h
    ${CMAKE_CURRENT_LIST_DIR}/formoption.cpp
)
