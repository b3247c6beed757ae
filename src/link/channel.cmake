target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/commandchannel.h
    ${CMAKE_CURRENT_LIST_DIR}/commandchannel.cpp
)
