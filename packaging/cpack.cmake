# The Debian package: `cpack -G DEB` in a release build (scripts/package
# makes one with Debian's compiler flags).
set(CPACK_PACKAGE_NAME brimwork)
set(CPACK_PACKAGE_VENDOR "The Brimwork developers")
set(CPACK_PACKAGE_CONTACT "${BRIMWORK_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "view, edit, extract and rebuild game gadget, screen and vehicle files")
set(CPACK_PACKAGE_DESCRIPTION
    "Brimwork opens the data containers of a game: gadget files (*.gdg), screen
files (*.pix) and vehicle files (*.azp). It lists their entries, shows the
16-bit images they hold, extracts every image as a TGA file for editing, and
rebuilds all three kinds of container from the edited images.
.
It also edits a container directly: in the window, with undo, and from the
command line, which replaces or exports a single image, prints every entry
and image with its stored place, and verifies every record of a file.
.
The package holds the window, brimwork, and the command-line program
brimwork-cli with the same commands for scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_PACKAGE_NAME brimwork)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # brimwork_<version>_<architecture>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRIMWORK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# No maintainer scripts: desktop-file-utils and shared-mime-info watch
# /usr/share/applications and /usr/share/mime/packages with dpkg file
# triggers and update their databases when this package is installed or
# removed; the hicolor icon cache is refreshed the same way.

include(CPack)
