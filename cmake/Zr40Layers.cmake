# zr40_add_layer(<name> [QT] [GLOB] [SOURCES <file>...] [EXCLUDE <file>...]
#                [DEPS <target>...] [PRIVATE_DEPS <target>...])
#
# One library of a layer folder, declared the same way in every folder: a static library of the
# sources given (SOURCES, and with GLOB every .cpp and .h of the folder except those named in
# EXCLUDE, which another library of the folder or an executable takes), or an interface library
# when there are none. The folder is its public include folder, so that what links it reaches
# its headers; DEPS are linked publicly (the layers below it), PRIVATE_DEPS privately (the
# platform libraries behind its seams). QT runs moc on its sources.
#
# Both the main build and the fuzz build (fuzz/) add the layer folders, so a library is declared
# once and both builds link the same one.
function(zr40_add_layer name)
    cmake_parse_arguments(L "QT;GLOB" "" "SOURCES;EXCLUDE;DEPS;PRIVATE_DEPS" ${ARGN})
    if(L_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "zr40_add_layer(${name}): unknown arguments ${L_UNPARSED_ARGUMENTS}")
    endif()
    set(dir ${CMAKE_CURRENT_SOURCE_DIR})
    set(sources "")
    foreach(source ${L_SOURCES})
        list(APPEND sources ${dir}/${source})
    endforeach()
    if(L_GLOB)
        file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
        foreach(source ${L_EXCLUDE})
            list(REMOVE_ITEM found ${dir}/${source})
        endforeach()
        list(APPEND sources ${found})
    endif()
    if(NOT sources)
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${dir})
        target_link_libraries(${name} INTERFACE ${L_DEPS})
        return()
    endif()
    add_library(${name} STATIC ${sources})
    if(L_QT)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
    endif()
    target_include_directories(${name} PUBLIC ${dir})
    target_link_libraries(${name} PUBLIC ${L_DEPS} PRIVATE ${L_PRIVATE_DEPS})
endfunction()
