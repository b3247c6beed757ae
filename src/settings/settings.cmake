target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/settingscodec.h
    ${CMAKE_CURRENT_LIST_DIR}/settingscodec.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settingsfile.h
    ${CMAKE_CURRENT_LIST_DIR}/settingsfile.cpp
)
