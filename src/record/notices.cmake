target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/recordnotices.h
    ${CMAKE_CURRENT_LIST_DIR}/recordnotices.cpp
)
