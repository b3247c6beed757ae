target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/token.h
    ${CMAKE_CURRENT_LIST_DIR}/token.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engformat.h
    ${CMAKE_CURRENT_LIST_DIR}/engformat.cpp
    ${CMAKE_CURRENT_LIST_DIR}/readingparser.h
    ${CMAKE_CURRENT_LIST_DIR}/readingparser.cpp
)
