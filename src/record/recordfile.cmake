target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/recordfilereader.h
    ${CMAKE_CURRENT_LIST_DIR}/recordfilereader.cpp
)
