target_sources(bin4870ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/portchooser.h
    ${CMAKE_CURRENT_LIST_DIR}/portchooser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/programmain.h
    ${CMAKE_CURRENT_LIST_DIR}/programmain.cpp
)
