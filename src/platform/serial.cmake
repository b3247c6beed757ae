target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/serialport.h
    ${CMAKE_CURRENT_LIST_DIR}/qtserialport.h
    ${CMAKE_CURRENT_LIST_DIR}/qtserialport.cpp
)
