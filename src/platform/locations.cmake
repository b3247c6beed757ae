target_sources(bin4870logic PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/filelocations.h
    ${CMAKE_CURRENT_LIST_DIR}/filelocations.cpp
    ${CMAKE_CURRENT_LIST_DIR}/serialdevices.h
    ${CMAKE_CURRENT_LIST_DIR}/serialdevices.cpp
    ${CMAKE_CURRENT_LIST_DIR}/porterrors.h
    ${CMAKE_CURRENT_LIST_DIR}/porterrors.cpp
    ${CMAKE_CURRENT_LIST_DIR}/terminationsignals.h
    ${CMAKE_CURRENT_LIST_DIR}/terminationsignals.cpp
)
# An installed program finds its guide relative to its own folder, so that the
# installed tree may live under any prefix.
file(RELATIVE_PATH BIN4870_RELATIVE_DOCDIR "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${CMAKE_INSTALL_DOCDIR}")
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/filelocations.cpp APPEND PROPERTY
    COMPILE_DEFINITIONS BIN4870_RELATIVE_DOCDIR="${BIN4870_RELATIVE_DOCDIR}")
