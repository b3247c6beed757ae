target_sources(bin4870ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/colours.h
    ${CMAKE_CURRENT_LIST_DIR}/formabout.h
    ${CMAKE_CURRENT_LIST_DIR}/formabout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/formmainui.h
    ${CMAKE_CURRENT_LIST_DIR}/formmainui.cpp
    ${CMAKE_CURRENT_LIST_DIR}/programicon.h
    ${CMAKE_CURRENT_LIST_DIR}/programicon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/uifonts.h
    ${CMAKE_CURRENT_LIST_DIR}/uifonts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/version.h
    ${CMAKE_CURRENT_LIST_DIR}/version.cpp
)
