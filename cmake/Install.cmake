# Installation (GNUInstallDirs) and the Debian package (CPack, DEB generator).
#   cmake --build build && cmake --install build --prefix /usr/local
#   cmake --build build && cpack --config build/CPackConfig.cmake -B build/package

include(GNUInstallDirs)
set(ORVANE_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/orvane)

install(TARGETS orvane-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES docs/data-set-file.md DESTINATION ${ORVANE_DOC_DIR})
install(DIRECTORY examples/ DESTINATION ${ORVANE_DOC_DIR}/examples FILES_MATCHING
    PATTERN "*.kvp" PATTERN "*.orv" PATTERN "measured-curve.csv")
install(FILES docs/theory.md DESTINATION ${ORVANE_DOC_DIR})
# The JSON Schemas of orvane-batch's JSON outputs, beside its man page's "JSON OUTPUT".
install(DIRECTORY packaging/schema/ DESTINATION ${ORVANE_DOC_DIR}/schema FILES_MATCHING
    PATTERN "*.schema.json")

# Who answers for the package: its Maintainer field, its changelog and its copyright file.
set(ORVANE_MAINTAINER "Orvane developers <maintainers@orvane.invalid>" CACHE STRING
    "Maintainer of the Debian package, as Name <address>")
configure_file(packaging/copyright ${PROJECT_BINARY_DIR}/packaging/copyright @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/copyright DESTINATION ${ORVANE_DOC_DIR})
# A native package's changelog, compressed as Debian keeps it.
configure_file(packaging/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    COMMAND gzip -9nf -k ${PROJECT_BINARY_DIR}/packaging/changelog
    DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog VERBATIM)
add_custom_target(orvane_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz DESTINATION ${ORVANE_DOC_DIR})
# Completion of orvane-batch's commands, options and values in bash.
install(FILES packaging/completion/orvane-batch
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Man pages, stamped with the version and compressed as Debian keeps them.
foreach(page orvane orvane-batch)
    configure_file(packaging/${page}.1.in ${PROJECT_BINARY_DIR}/packaging/${page}.1 @ONLY)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/${page}.1.gz
        COMMAND gzip -9nf -k ${PROJECT_BINARY_DIR}/packaging/${page}.1
        DEPENDS ${PROJECT_BINARY_DIR}/packaging/${page}.1 VERBATIM)
    list(APPEND ORVANE_MAN_PAGES ${PROJECT_BINARY_DIR}/packaging/${page}.1.gz)
endforeach()
add_custom_target(orvane_man_pages ALL DEPENDS ${ORVANE_MAN_PAGES})
install(FILES ${ORVANE_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(ORVANE_BUILD_WINDOWS)
    install(TARGETS orvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # orvane-batch's figures, loaded by it when a figure is asked for (apps/orvane-batch/figures).
    install(TARGETS orvane_batch_figures LIBRARY DESTINATION ${ORVANE_MODULE_DIR})
    install(FILES packaging/orvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES packaging/orvane-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME orvane.xml)
    install(FILES packaging/org.orvane.Orvane.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

    # The icon: the SVG drawn on the grid of the program's 32 x 32 icon, and PNGs rendered from
    # it at the theme's fixed sizes by a small build-time tool (Qt 6 Svg, not needed to run).
    set(icon ${PROJECT_SOURCE_DIR}/packaging/orvane.svg)
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    find_package(Qt6 QUIET COMPONENTS Svg)
    if(TARGET Qt6::Svg)
        add_executable(orvane_render_icon packaging/RenderIcon.cpp)
        target_link_libraries(orvane_render_icon PRIVATE Qt6::Svg Qt6::Gui)
        foreach(size 16 22 24 32 48 64 128 256)
            set(dir ${PROJECT_BINARY_DIR}/icons/${size}x${size})
            add_custom_command(OUTPUT ${dir}/orvane.png
                COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
                COMMAND orvane_render_icon ${icon} ${size} ${dir}/orvane.png
                DEPENDS orvane_render_icon ${icon} VERBATIM)
            list(APPEND ORVANE_ICONS ${dir}/orvane.png)
            install(FILES ${dir}/orvane.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
        endforeach()
        add_custom_target(orvane_icons ALL DEPENDS ${ORVANE_ICONS})
    else()
        message(STATUS "Qt 6 Svg not found: only the SVG icon is installed (qt6-svg-dev)")
    endif()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR "Orvane developers")
set(CPACK_PACKAGE_CONTACT "${ORVANE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pull-out analysis of FRP laminates bonded to concrete")
set(CPACK_PACKAGE_DESCRIPTION
    "Orvane analyses the pull-out (single-lap shear) test of a fibre-reinforced\n"
    "polymer laminate glued to a concrete member: it raises the free-end slip step\n"
    "by step until the bond has failed and shows the bond stress against the slip\n"
    "and along the bond length. orvane-batch runs the same analysis without\n"
    "windows, for scripts.")
string(CONCAT CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The forms' captions are drawn in a Japanese Gothic face.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-ipafont-gothic)
include(CPack)
