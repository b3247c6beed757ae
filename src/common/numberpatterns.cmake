target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/patterns.h
    ${CMAKE_CURRENT_LIST_DIR}/numberpatterns.cpp
)
