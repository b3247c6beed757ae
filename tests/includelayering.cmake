# Fails when a file under src/ includes from a folder the layering does not
# allow. Each folder may include from itself and from the folders before it:
#
#   common <- platform <- link <- record <- bins <- session <- settings <- app
#
# Run as: cmake -DSOURCE_DIR=<src> -P includelayering.cmake
set(layers common platform link record bins session settings app)

get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
if(NOT IS_DIRECTORY "${SOURCE_DIR}")
    message(FATAL_ERROR "No source folder: '${SOURCE_DIR}'")
endif()

set(wrong "")
set(checked 0)
foreach(layer IN LISTS layers)
    list(FIND layers ${layer} rank)
    file(GLOB_RECURSE files "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
    foreach(file IN LISTS files)
        file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        foreach(line IN LISTS lines)
            if(NOT line MATCHES "\"([a-z]+)/[^\"]+\"")
                continue() # a file of the same folder, named without one
            endif()
            set(target "${CMAKE_MATCH_1}")
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
