# The layers' include rules, run as a script at every build:
#   cmake -DSOURCE_DIR=<checkout> -P cmake/CheckLayers.cmake
# core/    includes nothing above it and no Qt or NLopt header;
# fit/     includes the core only, and NLopt, no Qt;
# sheets/  includes the core only, and libxlsxwriter, no Qt or NLopt;
# render/  includes the core and fit's figure model, QtGui and QtSvg, no widgets;
# gui/     never includes apps/; a window folder includes no other window folder, only gui/forms/.
# A broken rule stops the build with the file, the line and the rule.

set(violations "")

function(check_folder folder forbidden_pattern rule)
    file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" includes REGEX "^#include")
        foreach(line IN LISTS includes)
            if(line MATCHES "${forbidden_pattern}")
                file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
                list(APPEND violations "${name}: ${line} (${rule})")
            endif()
        endforeach()
    endforeach()
    set(violations "${violations}" PARENT_SCOPE)
endfunction()

set(above_core "\"(fit|sheets|render|gui|apps)/")
set(toolkit "<(Q[A-Za-z]*|Qt[A-Za-z]+/.*|nlopt[^>]*|xlsxwriter[^>]*)>")
check_folder(core "${above_core}|${toolkit}" "the core includes nothing above it, no Qt, no NLopt")
check_folder(fit "\"(render|gui|apps)/|<Q" "fit includes the core only, no Qt")
check_folder(sheets "\"(fit|render|gui|apps)/|<Q|<nlopt" "sheets include the core only, no Qt, no NLopt")
check_folder(render "\"(gui|apps)/|<Q[A-Za-z]*(Widget|Dialog|Window|Button|Box|Menu|Label)[A-Za-z]*>|<QtWidgets"
             "render draws with QtGui and QtSvg, no widgets")
check_folder(gui "\"apps/" "gui never includes the programs")
foreach(group parameters run study fit help concrete codes validate sampling)
    set(others "")
    foreach(other parameters run study fit help concrete codes validate sampling)
        if(NOT other STREQUAL group)
            list(APPEND others ${other})
        endif()
    endforeach()
    list(JOIN others "|" others)
    check_folder(gui/${group} "\"gui/(${others})/"
                 "a window folder includes only gui/forms/ of the other window folders")
endforeach()

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Layer rules broken:\n  ${text}")
endif()
