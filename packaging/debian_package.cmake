# make package: build/orvane_VERSION_ARCH.deb through CPack. The Depends
# are what dpkg-shlibdeps finds the programs linked against, plus what they
# load or read at run time: glib-networking (WebKitGTK's TLS), the trust
# store. The maintainer scripts register the browser's location in the
# machine-wide registry store.
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE ORVANE_DEB_ARCH
                OUTPUT_STRIP_TRAILING_WHITESPACE)
set(ORVANE_PACKAGE_PREFIX /usr)
set(ORVANE_PACKAGED_BROWSER ${ORVANE_PACKAGE_PREFIX}/bin/orvaneexplorer)
foreach(script postinst postrm)
    configure_file(${CMAKE_CURRENT_SOURCE_DIR}/${script}.in ${ORVANE_PACKAGING_BUILD}/${script}
                   @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                   GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX ${ORVANE_PACKAGE_PREFIX})
set(CPACK_PACKAGE_CONTACT "Orvane Network <packages@orvane.net>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "browser and firmware loaders of the Orvane seismic network")
# The long description, after the summary line; CPack indents it and marks
# the empty line between the paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "OrvaneExplorer shows the network's web and FTP sites, downloads event data
files itself and hands them to the Tremora seismic viewer (also under Wine).

orvane-fetch makes the same downloads from a script, orvane-dde sends DDE
commands to running programs, kestrel and boot load firmware into the
network's dsPIC and framed-bootloader boards through their serial
bootloaders, and dspic-sim and board-sim simulate those boards for trying
the loaders without hardware.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME orvane_${PROJECT_VERSION}_${ORVANE_DEB_ARCH}.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ORVANE_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.orvane.net/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "glib-networking, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wine")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${ORVANE_PACKAGING_BUILD}/postinst
    ${ORVANE_PACKAGING_BUILD}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
