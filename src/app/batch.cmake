# The batch window draws with Qt Charts and reads on a worker thread.
find_package(Qt6 REQUIRED COMPONENTS Charts Concurrent)
target_sources(bin4870ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/batchcharts.h
    ${CMAKE_CURRENT_LIST_DIR}/batchcharts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/formbatch.h
    ${CMAKE_CURRENT_LIST_DIR}/formbatch.cpp
)
target_link_libraries(bin4870ui PUBLIC Qt6::Charts Qt6::Concurrent)
target_sources(bin4870ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/batchlauncher.h
    ${CMAKE_CURRENT_LIST_DIR}/batchlauncher.cpp
)
