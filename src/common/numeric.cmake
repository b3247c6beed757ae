target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/numericvalue.h
    ${CMAKE_CURRENT_LIST_DIR}/numericvalue.cpp
    ${CMAKE_CURRENT_LIST_DIR}/datepatterns.cpp
)
