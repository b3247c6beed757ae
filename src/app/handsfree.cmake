target_sources(bin4870ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/handsfreecontrols.h
    ${CMAKE_CURRENT_LIST_DIR}/handsfreecontrols.cpp
    ${CMAKE_CURRENT_LIST_DIR}/handsfreedialog.h
    ${CMAKE_CURRENT_LIST_DIR}/handsfreedialog.cpp
)
