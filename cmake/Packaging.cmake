# The man pages, the Debian package (`make package`) and the checks of the
# shipped desktop files. Included at the end of the top CMakeLists.txt, after
# every install rule.

set(ZENTARI_HOMEPAGE "https://zentari.org/")
set(ZENTARI_PACKAGE_MAINTAINER "The Zentari developers <packages@zentari.org>"
    CACHE STRING "The Maintainer field of the Debian package")

# Man pages: vornload and qvfmake build without Qt, the other two with it.
set(man_pages vornload.1 qvfmake.1)
if(ZENTARI_UI)
  list(APPEND man_pages zentari.1 zentari-cli.1)
endif()
list(TRANSFORM man_pages PREPEND ${PROJECT_SOURCE_DIR}/docs/man/)
install(FILES ${man_pages} DESTINATION share/man/man1)

# The completion scripts against the programs' own --help, and the version the
# metainfo and the man pages name against the project's.
if(ZENTARI_TESTS AND TARGET zentari-cli AND TARGET vornload)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/packaging ${PROJECT_BINARY_DIR}/tests/packaging)
endif()

# The maintainer scripts: udev takes the rules for the sign and the chip at once,
# but only where udev runs. In a chroot, a container or an image build there is
# nothing to reload and the rules take effect at the next boot; nothing there
# may make the installation fail.
set(udev_reload [=[
    if [ -S /run/udev/control ] && command -v udevadm >/dev/null 2>&1; then
        udevadm control --reload || true
        udevadm trigger --action=change --subsystem-match=hidraw --subsystem-match=scsi_generic || true
    fi]=])
set(debian_dir ${PROJECT_BINARY_DIR}/debian)
file(WRITE ${debian_dir}/postinst "#!/bin/sh
# Zentari: the udev rules for the sign (60-zentari.rules) and the chip
# (61-vornload.rules) take effect without a reboot.
set -e
if [ \"$1\" = configure ]; then
${udev_reload}
fi
exit 0
")
file(WRITE ${debian_dir}/postrm "#!/bin/sh
# Zentari: udev forgets the removed rules without a reboot.
set -e
case \"$1\" in
remove | purge)
${udev_reload}
    ;;
esac
exit 0
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zentari)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Zentari developers")
set(CPACK_PACKAGE_CONTACT "${ZENTARI_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lay out messages for USB LED signs and send them")
set(CPACK_PACKAGE_DESCRIPTION "\
Zentari lays out screens and programs for small USB LED message signs (text in
system or bitmap fonts, pictures, GIF animations, a live temperature, effects,
borders), plays them on an emulated sign and sends them to one sign or to every
attached sign. zentari is the Qt window; zentari-cli does the same work
without a display. vornload writes firmware into the flash of the sign's
controller chip; qvfmake makes bitmap fonts for the signs.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
# An absolute install destination would land outside /usr in the package.
set(CPACK_ERROR_ON_ABSOLUTE_INSTALL_DESTINATION ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZENTARI_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZENTARI_HOMEPAGE}")
# dpkg-shlibdeps (dpkg-dev) names the libraries the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${debian_dir}/postinst ${debian_dir}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

# `make package_source` would otherwise pack the build trees too.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "^${PROJECT_SOURCE_DIR}/build/" "^${PROJECT_SOURCE_DIR}/\\\\.git/")

include(CPack)
