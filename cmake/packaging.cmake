# What `lumacore` installs on Linux, and its Debian package (CPack's DEB generator). The files
# beside the program come from packaging/; the icon is drawn at build time by the program itself
# (a 3D spectrum-history still of the demo tune); the man page and the documents are compressed
# as Debian wants them.
# Binary packages: lumacore (the program, component lumacore) and, for each host whose module is
# built, its plug-in in a package of its own, so that the program's users do not pull the hosts
# in: obs-lumacore (component obs, apps/obs), audacious-plugin-lumacore (component audacious,
# apps/audacious) and gstreamer1.0-lumacore (component gstreamer, apps/gstreamer).
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME lumacore)

set(LUMACORE_PACKAGE_DIR "${CMAKE_SOURCE_DIR}/packaging")
set(generated "${CMAKE_BINARY_DIR}/packaging")
file(MAKE_DIRECTORY "${generated}")

find_program(LUMACORE_GZIP gzip REQUIRED)
find_program(LUMACORE_FFMPEG_PROGRAM ffmpeg REQUIRED)

# The icon: the history at 256 x 256 from the demo tune, reduced for the smaller sizes.
set(icon_sizes 48 128 256)
set(icons)
foreach(size IN LISTS icon_sizes)
    list(APPEND icons "${generated}/icon-${size}.png")
endforeach()
add_custom_command(
    OUTPUT ${icons}
    COMMAND "$<TARGET_FILE:lumacore>" render -q --size 256x256 --at 11.5 --title "" --brightness 1.4
            -o "${generated}/icon-256.png"
    COMMAND "${LUMACORE_FFMPEG_PROGRAM}" -v error -y -i "${generated}/icon-256.png"
            -vf scale=128:128:flags=area "${generated}/icon-128.png"
    COMMAND "${LUMACORE_FFMPEG_PROGRAM}" -v error -y -i "${generated}/icon-256.png"
            -vf scale=48:48:flags=area "${generated}/icon-48.png"
    DEPENDS lumacore
    COMMENT "Drawing the application icon with lumacore"
    VERBATIM)

# The package's own changelog in Debian's format; the project's changes are CHANGELOG.md beside it.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${generated}/changelog.Debian"
    "lumacore (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
    "  * Lumacore ${PROJECT_VERSION}: see /usr/share/doc/lumacore/CHANGELOG.md.gz.\n\n"
    " -- ${LUMACORE_MAINTAINER}  ${changelog_date}\n")

set(compressed lumacore.1 changelog CHANGELOG.md README.md)
set(compressed_outputs)
foreach(name IN LISTS compressed)
    list(APPEND compressed_outputs "${generated}/${name}.gz")
endforeach()
add_custom_command(
    OUTPUT ${compressed_outputs}
    COMMAND "${CMAKE_COMMAND}" -E copy "${LUMACORE_PACKAGE_DIR}/lumacore.1" "${generated}/lumacore.1"
    COMMAND "${CMAKE_COMMAND}" -E copy "${generated}/changelog.Debian" "${generated}/changelog"
    COMMAND "${CMAKE_COMMAND}" -E copy "${CMAKE_SOURCE_DIR}/CHANGELOG.md" "${generated}/CHANGELOG.md"
    COMMAND "${CMAKE_COMMAND}" -E copy "${CMAKE_SOURCE_DIR}/README.md" "${generated}/README.md"
    COMMAND "${LUMACORE_GZIP}" -9nf ${compressed}
    WORKING_DIRECTORY "${generated}"
    DEPENDS "${LUMACORE_PACKAGE_DIR}/lumacore.1" "${generated}/changelog.Debian"
            "${CMAKE_SOURCE_DIR}/CHANGELOG.md" "${CMAKE_SOURCE_DIR}/README.md"
    VERBATIM)

add_custom_target(lumacore_package_files ALL
    DEPENDS ${icons} ${compressed_outputs})

install(TARGETS lumacore RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${generated}/lumacore.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${LUMACORE_PACKAGE_DIR}/lumacore.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
foreach(size IN LISTS icon_sizes)
    install(FILES "${generated}/icon-${size}.png"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
            RENAME lumacore.png)
endforeach()
install(FILES "${LUMACORE_PACKAGE_DIR}/bash-completion/lumacore"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions")
install(FILES "${generated}/README.md.gz" "${generated}/CHANGELOG.md.gz" "${generated}/changelog.gz"
              "${LUMACORE_PACKAGE_DIR}/copyright"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")

# Each plug-in's package: its component, the module's target and the package's name.
set(lumacore_plugin_packages
    obs lumacore-obs obs-lumacore
    audacious lumacore-audacious audacious-plugin-lumacore
    gstreamer gstlumacore gstreamer1.0-lumacore)
set(lumacore_plugin_components)
while(lumacore_plugin_packages)
    list(POP_FRONT lumacore_plugin_packages component target package)
    if(TARGET ${target})
        # The same copyright and Debian changelog in the package's own doc folder.
        install(FILES "${generated}/changelog.gz" "${LUMACORE_PACKAGE_DIR}/copyright"
                DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${package}" COMPONENT ${component}
                EXCLUDE_FROM_ALL)
        string(TOUPPER ${component} upper)
        set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
        list(APPEND lumacore_plugin_components ${component})
    endif()
endwhile()

# The Debian packages. Their Depends come from the binaries (dpkg-shlibdeps), never by hand,
# besides OBS Studio itself for the module OBS loads.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL lumacore)
set(CPACK_PACKAGE_NAME lumacore)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LUMACORE_MAINTAINER}")

set(CPACK_DEBIAN_LUMACORE_PACKAGE_NAME lumacore)
set(CPACK_DEBIAN_LUMACORE_PACKAGE_SECTION sound)
# The banner's text is drawn with whatever fontconfig offers for "Arial".
set(CPACK_DEBIAN_LUMACORE_PACKAGE_RECOMMENDS "fonts-liberation2")
string(CONCAT CPACK_DEBIAN_LUMACORE_DESCRIPTION
    "spectrum history, oscilloscope and VU meter for your music\n"
    "Lumacore draws music as a scrolling spectrum history (flat or as receding\n"
    "3D boxes), an oscilloscope or a VU meter. It plays audio files in a window\n"
    "with the picture following the sound, shows live what the desktop is\n"
    "playing, and renders any audio file into a video (MP4, Matroska, WebM) or\n"
    "PNG pictures.")

list(APPEND CPACK_COMPONENTS_ALL ${lumacore_plugin_components})
if(TARGET lumacore-obs)
    set(CPACK_DEBIAN_OBS_PACKAGE_SECTION video)
    set(CPACK_DEBIAN_OBS_PACKAGE_DEPENDS "obs-studio")
    set(CPACK_DEBIAN_OBS_PACKAGE_RECOMMENDS "fonts-liberation2")
    string(CONCAT CPACK_DEBIAN_OBS_DESCRIPTION
        "Lumacore spectrum history, oscilloscope and VU meter source for OBS Studio\n"
        "A video source for OBS Studio scenes: Lumacore's scrolling spectrum history\n"
        "(flat or as receding 3D boxes), oscilloscope or VU meter, drawn from any\n"
        "audio source of the scene or the whole mix, its background transparent\n"
        "over the scene if wanted.")
endif()
if(TARGET lumacore-audacious)
    set(CPACK_DEBIAN_AUDACIOUS_PACKAGE_SECTION sound)
    set(CPACK_DEBIAN_AUDACIOUS_PACKAGE_DEPENDS "audacious (>= 4.2)")
    set(CPACK_DEBIAN_AUDACIOUS_PACKAGE_RECOMMENDS "fonts-liberation2")
    string(CONCAT CPACK_DEBIAN_AUDACIOUS_DESCRIPTION
        "Lumacore spectrum history, oscilloscope and VU meter for Audacious\n"
        "A visualisation plug-in for the Audacious media player: Lumacore's\n"
        "scrolling spectrum history (flat or as receding 3D boxes), oscilloscope or\n"
        "VU meter in a dock of Audacious's window, following the music played, with\n"
        "the playing track's artist and title in its banner.")
endif()
if(TARGET gstlumacore)
    set(CPACK_DEBIAN_GSTREAMER_PACKAGE_SECTION libs)
    set(CPACK_DEBIAN_GSTREAMER_PACKAGE_RECOMMENDS "fonts-liberation2")
    string(CONCAT CPACK_DEBIAN_GSTREAMER_DESCRIPTION
        "Lumacore spectrum history, oscilloscope and VU meter element for GStreamer\n"
        "The GStreamer visualisation element lumacorevis: Lumacore's scrolling\n"
        "spectrum history (flat or as receding 3D boxes), oscilloscope or VU meter\n"
        "drawn from a pipeline's audio as video of any size and frame rate, for\n"
        "gst-launch-1.0 pipelines and as the visualisation of playbin applications.")
endif()
include(CPack)
