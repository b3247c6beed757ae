# Fails when a file under src/ includes from a folder the layering does not
# allow. Each folder may include from itself and from the folders before it:
#
#   common <- platform <- link <- record <- cellid <- bins <- pack <- session
#     <- settings <- app/style <- app/centralrecord <- app/handsfree <- app/cellids
#     <- app/quality <- app/packs <- app/mainwindow <- app/program
#
# The logic folders come first; the program's windows (app/, one folder per
# feature) may use all of them, and a feature only the features before it.
# A file directly in src/ (main.cpp) may include anything.
#
# Run as: cmake -DSOURCE_DIR=<src> -P includelayering.cmake
set(layers common platform link record cellid bins pack session settings
           app/style app/centralrecord app/handsfree app/cellids app/quality app/packs app/mainwindow
           app/program)

get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
if(NOT IS_DIRECTORY "${SOURCE_DIR}")
    message(FATAL_ERROR "No source folder: '${SOURCE_DIR}'")
endif()

# Every folder that holds sources must have a place in the order.
file(GLOB_RECURSE all RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
set(unplaced "")
foreach(file IN LISTS all)
    get_filename_component(folder "${file}" DIRECTORY)
    if(folder STREQUAL "")
        continue()
    endif()
    list(FIND layers "${folder}" rank)
    if(rank LESS 0)
        list(APPEND unplaced "${folder}")
    endif()
endforeach()
if(unplaced)
    list(REMOVE_DUPLICATES unplaced)
    list(JOIN unplaced ", " unplaced)
    message(FATAL_ERROR "Folders under src/ without a place in the layering: ${unplaced}")
endif()

set(wrong "")
set(checked 0)
foreach(layer IN LISTS layers)
    list(FIND layers ${layer} rank)
    file(GLOB files "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
    foreach(file IN LISTS files)
        file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        foreach(line IN LISTS lines)
            # "app/<feature>/x.h" names a feature, "<folder>/x.h" a logic folder.
            if(line MATCHES "\"(app/[a-z]+)/[^\"]+\"")
                set(target "${CMAKE_MATCH_1}")
            elseif(line MATCHES "\"([a-z]+)/[^\"]+\"")
                set(target "${CMAKE_MATCH_1}")
            else()
                continue() # a file of the same folder, named without one
            endif()
            list(FIND layers ${target} targetRank)
            math(EXPR checked "${checked} + 1")
            if(targetRank LESS 0 OR targetRank GREATER rank)
                file(RELATIVE_PATH where "${SOURCE_DIR}" "${file}")
                string(STRIP "${line}" line)
                list(APPEND wrong "  ${where}: ${line} (${layer} may not include from ${target})")
            endif()
        endforeach()
    endforeach()
endforeach()

if(checked EQUAL 0)
    message(FATAL_ERROR "No folder-qualified #include found under ${SOURCE_DIR}: nothing was checked")
endif()
if(wrong)
    list(JOIN wrong "\n" report)
    message(FATAL_ERROR "Includes against the layering (${layers}):\n${report}")
endif()
message(STATUS "${checked} includes follow the layering")
