target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/sessionview.h
    ${CMAKE_CURRENT_LIST_DIR}/measurementsession.h
    ${CMAKE_CURRENT_LIST_DIR}/measurementsession.cpp
)
