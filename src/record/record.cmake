target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/recordline.h
    ${CMAKE_CURRENT_LIST_DIR}/recordline.cpp
    ${CMAKE_CURRENT_LIST_DIR}/datafile.h
    ${CMAKE_CURRENT_LIST_DIR}/datafile.cpp
)
