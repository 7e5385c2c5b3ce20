# moc for AUTOMOC without the compiler's own include directories. AUTOMOC hands moc every include
# directory, the C++ library's and the system's among them, and moc reads every header it can
# find there: that was half of each moc run, and moc ran for each of a hundred targets in every
# tree. Those headers declare no Qt classes and no macros that a class moc reads depends on, so
# moc's output is the same without them; Qt's and the project's directories are still passed (a
# test's slots may stand inside #ifdef Q_OS_UNIX, which Qt's headers define).
# -DTALLYPORT_FAST_MOC=OFF gives every target the plain moc.
option(TALLYPORT_FAST_MOC "Run moc without the compiler's own include directories" ON)

# tallyport_use_fast_moc(): gives every target of the project that runs AUTOMOC the moc below.
# Call it after every target is defined.
function(tallyport_use_fast_moc)
    if(NOT TALLYPORT_FAST_MOC OR NOT TARGET Qt6::moc)
        return()
    endif()
    get_target_property(moc Qt6::moc IMPORTED_LOCATION)
    if(NOT moc)
        get_target_property(configs Qt6::moc IMPORTED_CONFIGURATIONS)
        list(GET configs 0 config)
        get_target_property(moc Qt6::moc IMPORTED_LOCATION_${config})
    endif()
    set(patterns "")
    foreach(dir ${CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES})
        string(APPEND patterns "        -I${dir}) ;;\n")
    endforeach()
    set(wrapper ${CMAKE_BINARY_DIR}/moc-without-system-headers)
    file(CONFIGURE OUTPUT ${wrapper} @ONLY CONTENT [=[#!/bin/bash
# Made by cmake/MocWithoutSystemHeaders.cmake: runs moc without the compiler's own include
# directories.
args=()
for arg in "$@"; do
    case "$arg" in
@patterns@        *) args+=("$arg") ;;
    esac
done
exec "@moc@" "${args[@]}"
]=])
    file(CHMOD ${wrapper} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
         WORLD_READ WORLD_EXECUTE)
    tallyport_use_moc_in(${CMAKE_SOURCE_DIR} ${wrapper})
endfunction()

function(tallyport_use_moc_in dir wrapper)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target ${targets})
        get_target_property(automoc ${target} AUTOMOC)
        if(automoc)
            set_property(TARGET ${target} PROPERTY AUTOMOC_EXECUTABLE ${wrapper})
        endif()
    endforeach()
    get_property(subdirectories DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdirectory ${subdirectories})
        tallyport_use_moc_in(${subdirectory} ${wrapper})
    endforeach()
endfunction()
