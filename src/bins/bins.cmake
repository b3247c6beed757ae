target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/bintable.h
    ${CMAKE_CURRENT_LIST_DIR}/bintable.cpp
    ${CMAKE_CURRENT_LIST_DIR}/binpanellogic.h
    ${CMAKE_CURRENT_LIST_DIR}/binpanellogic.cpp
)
