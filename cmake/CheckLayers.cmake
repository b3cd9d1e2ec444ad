# cmake -DROOT=<source dir> -P cmake/CheckLayers.cmake
#
# Checks the dependency arrows between the layers on the sources themselves:
#   app -> settings, output -> panel -> ui -> machine -> link
# A file may include the headers of its own folder and of the layers below its own; never a
# header of a layer above, nor of a sibling (settings and output stand side by side). The
# simulator and the command-line programs stand on machine and link; nothing in src/ includes
# them. link, machine, the simulator and the command-line programs include no Qt header.
# Exits with an error listing every wrong include.
if(NOT ROOT)
    message(FATAL_ERROR "ROOT (the source folder) is not set")
endif()

# Folder, rank (higher stands above), whether Qt is allowed. Equal ranks are siblings.
set(FOLDERS
    "src/link|10|no"
    "src/machine|20|no"
    "src/ncpath|20|no"
    "src/ui|30|yes"
    "src/panel|40|yes"
    "src/settings|50|yes"
    "src/output|50|yes"
    "src/app|60|yes"
    "sim|25|no"
    "cli|25|no")

set(owners "")
foreach(entry ${FOLDERS})
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 folder)
    list(GET fields 1 rank)
    list(GET fields 2 qt)
    string(MAKE_C_IDENTIFIER "${folder}" id)
    set(RANK_${id} ${rank})
    set(QT_${id} ${qt})
    # Layers of src/ may be included from above; sim/ and cli/ from nowhere else.
    string(FIND "${folder}" "src/" isLayer)
    set(LAYER_${id} ${isLayer})
    file(GLOB headers RELATIVE ${ROOT}/${folder} ${ROOT}/${folder}/*.h)
    foreach(header ${headers})
        string(MAKE_C_IDENTIFIER "${header}" hid)
        if(DEFINED OWNER_${hid})
            message(SEND_ERROR "${header} exists in ${OWNER_${hid}} and ${folder}")
        endif()
        set(OWNER_${hid} ${folder})
    endforeach()
endforeach()

set(errors 0)
foreach(entry ${FOLDERS})
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 folder)
    string(MAKE_C_IDENTIFIER "${folder}" id)
    file(GLOB_RECURSE sources ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
    foreach(source ${sources})
        file(RELATIVE_PATH shown ${ROOT} ${source})
        file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
        foreach(line ${includes})
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">].*" "\\1" name
                                 "${line}")
            if(QT_${id} STREQUAL "no" AND name MATCHES "^Q[A-Za-z]")
                message(SEND_ERROR "${shown}: includes <${name}>, but ${folder} uses no Qt")
                math(EXPR errors "${errors} + 1")
                continue()
            endif()
            string(MAKE_C_IDENTIFIER "${name}" hid)
            if(NOT DEFINED OWNER_${hid})
                continue() # a system, library or generated header
            endif()
            set(owner ${OWNER_${hid}})
            if(owner STREQUAL folder)
                continue()
            endif()
            string(MAKE_C_IDENTIFIER "${owner}" oid)
            if(NOT LAYER_${oid} EQUAL 0 OR NOT RANK_${oid} LESS RANK_${id})
                message(SEND_ERROR "${shown}: includes ${name} of ${owner}, which is not below "
                                   "${folder}")
                math(EXPR errors "${errors} + 1")
            endif()
        endforeach()
    endforeach()
endforeach()

if(errors GREATER 0)
    message(FATAL_ERROR "${errors} include(s) against the layer order")
endif()
message(STATUS "The includes follow the layer order")
