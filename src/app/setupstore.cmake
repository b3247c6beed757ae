target_sources(bin4870ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/setupstore.h
    ${CMAKE_CURRENT_LIST_DIR}/setupstore.cpp
)
