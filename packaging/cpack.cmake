# The Debian package: cpack -G DEB in a build configured with -DCMAKE_INSTALL_PREFIX=/usr
# (scripts/test-package builds, checks, installs and purges one).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME whois-batch)
set(CPACK_PACKAGE_VENDOR Norvane)
set(CPACK_PACKAGE_CONTACT "Norvane <packages@norvane.example>")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "batch WHOIS lookups of domain names, with their lookup service
A desktop program with a Chinese interface: fill a list with domain names,
from a text file or one at a time, and it looks them up one after another,
showing registrar, dates, name servers and status in a table.
.
The package also holds whoisd, the HTTPS lookup and update service the
program asks, run as a hardened systemd service with a certificate from the
machine's own local authority, which the package makes and trusts, and
whois-bulk, which looks up thousands of names from the command line, each
registry at its own pace, writing CSV, Excel or JSON Lines.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${WHOIS_MAKER_URL}")
# Run-time needs the libraries' own dependencies do not state: the TLS backend loads
# libssl, windows need a platform plugin and Qt's Chinese translations, the maintainer
# scripts use openssl and update-ca-certificates.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3, libc-ares2, qt6-qpa-plugins, qt6-translations-l10n, openssl, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
# Instances of whoisd side by side share answers in a store (whoisd --store).
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "redis-server")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/packaging/debian/postinst
    ${PROJECT_BINARY_DIR}/packaging/debian/prerm
    ${PROJECT_BINARY_DIR}/packaging/debian/postrm
    ${PROJECT_BINARY_DIR}/packaging/debian/conffiles)
# Absolute destinations (/etc, /lib/systemd) land in the package, not on this machine.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
