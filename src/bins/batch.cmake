target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/batchsummary.h
    ${CMAKE_CURRENT_LIST_DIR}/batchsummary.cpp
)
