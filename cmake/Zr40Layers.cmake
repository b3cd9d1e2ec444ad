# zr40_add_qt_layer(NAME BELOW <layer> [SOURCES ...])
#
# One Qt layer as one static library that links the layer below it (and through it everything
# further down), with its folder as its public include folder, so that only the layers above it
# reach its headers. A layer whose folder holds no sources yet is an interface library with the
# same link, so that the layers above can already link it.
function(zr40_add_qt_layer name)
    cmake_parse_arguments(L "" "BELOW" "SOURCES" ${ARGN})
    if(L_SOURCES)
        add_library(${name} STATIC ${L_SOURCES})
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
        target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
        target_link_libraries(${name} PUBLIC ${L_BELOW})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${L_BELOW})
    endif()
endfunction()
