target_sources(bin4870ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/dialogs.h
    ${CMAKE_CURRENT_LIST_DIR}/dialogs.cpp
)
