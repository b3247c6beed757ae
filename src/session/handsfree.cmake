target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/settlerule.h
    ${CMAKE_CURRENT_LIST_DIR}/settlerule.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recordarming.h
    ${CMAKE_CURRENT_LIST_DIR}/recordarming.cpp
)
