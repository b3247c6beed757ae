# The sound cues: Qt Multimedia and the two WAV files as resources.
target_sources(bin4870logic PRIVATE ${CMAKE_CURRENT_LIST_DIR}/soundcue.h)
target_sources(bin4870ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/qtsoundcue.h
    ${CMAKE_CURRENT_LIST_DIR}/qtsoundcue.cpp
)
target_link_libraries(bin4870ui PUBLIC Qt6::Multimedia)
qt_add_resources(bin4870ui "cuesounds"
    PREFIX "/sounds"
    BASE ${CMAKE_CURRENT_LIST_DIR}/sounds
    FILES ${CMAKE_CURRENT_LIST_DIR}/sounds/cue-in.wav ${CMAKE_CURRENT_LIST_DIR}/sounds/cue-out.wav
)
