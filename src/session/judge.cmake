target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/judge.h
    ${CMAKE_CURRENT_LIST_DIR}/judge.cpp
)
