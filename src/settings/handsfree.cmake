target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/handsfreeoptions.h
    ${CMAKE_CURRENT_LIST_DIR}/handsfreeoptions.cpp
)
