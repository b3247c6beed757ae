target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/regularfile.h
    ${CMAKE_CURRENT_LIST_DIR}/regularfile.cpp
)
