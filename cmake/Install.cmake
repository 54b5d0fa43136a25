# Where `cmake --install` puts things, and the Debian packages CPack builds
# from them:
#   aph-server   bin/aph-server, the systemd unit, /etc/aph/aph-server.conf,
#                the documentation, the time trackers' maps
#   aph-desktop  bin/aph-host, the module and its language file, the
#                desktop's shared libraries (lib/aph)
#   aph-common   lib/aph/libaph_data.so, the runtime both programs link: one
#                file cannot belong to two packages, and neither machine
#                should need the other's program
# The programs find their libraries through an $ORIGIN-relative RPATH, so
# an install into any prefix or DESTDIR runs as it is.
include(GNUInstallDirs)

set(APH_INSTALL_LIBDIR lib/aph)
# Installing (and cpack) copies what is built and builds nothing: the
# programs and the module are built first (./run builds them), not every
# test and benchmark of the tree on their way to a package.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set_target_properties(aph-server aph-host PROPERTIES
  INSTALL_RPATH "$ORIGIN/../${APH_INSTALL_LIBDIR}")
set_target_properties(aph_data aph_ui aph_framework Pkg_Aph31500 PROPERTIES
  INSTALL_RPATH "$ORIGIN")

install(TARGETS aph-server RUNTIME DESTINATION bin COMPONENT server)
install(TARGETS aph-host RUNTIME DESTINATION bin COMPONENT desktop)
install(TARGETS aph_data LIBRARY DESTINATION ${APH_INSTALL_LIBDIR} COMPONENT common)
install(TARGETS aph_ui aph_framework Pkg_Aph31500
  LIBRARY DESTINATION ${APH_INSTALL_LIBDIR} COMPONENT desktop)
install(FILES ${PROJECT_SOURCE_DIR}/package/libPkg_Aph31500.so.pt_BR
  DESTINATION ${APH_INSTALL_LIBDIR} COMPONENT desktop)

# The service: the unit under the prefix's lib/systemd/system, and the
# default configuration in /etc/aph for the /usr prefix of a package, in
# <prefix>/etc/aph otherwise. The choice is made when installing, from the
# prefix given then (cmake --install --prefix), so that an install into
# any prefix stays inside it.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/aph-server.service
  DESTINATION lib/systemd/system COMPONENT server)
install(CODE "
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(aph_etc /etc/aph)
  else()
    set(aph_etc \"\${CMAKE_INSTALL_PREFIX}/etc/aph\")
  endif()
  file(INSTALL DESTINATION \"\${aph_etc}\" TYPE FILE
    FILES \"${PROJECT_SOURCE_DIR}/packaging/aph-server.conf\")
  " COMPONENT server)
file(GLOB APH_DOCS ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${APH_DOCS}
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/aph COMPONENT server)
# The maps of time trackers' exports (import --mapa), for the firm to
# copy and fill in with its people and services.
file(GLOB APH_MAPS ${PROJECT_SOURCE_DIR}/packaging/mapas/*.ini)
install(FILES ${APH_MAPS}
  DESTINATION ${CMAKE_INSTALL_DATADIR}/aph/mapas COMPONENT server)

# The packages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME aph)
set(CPACK_PACKAGE_VENDOR "aph")
set(CPACK_PACKAGE_CONTACT "aph <aph@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# Installed with DESTDIR into the staging folder, prefix /usr: the
# configuration goes to /etc as above.
set(CPACK_SET_DESTDIR ON)
set(CPACK_COMPONENTS_ALL server desktop common)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The libraries in lib/aph are private (no SONAME versions, no shlibs
# file): dpkg-shlibdeps stops at libaph_data.so, which another package
# ships, so the runtime is listed here: what dpkg-shlibdeps finds for each
# binary on Debian 12, plus what Qt loads at run time (the SQL drivers, the
# TLS backend's libssl3, the desktop's platform plugins).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_STRIP_FILES ON)
set(APH_DEB_BASE "libc6 (>= 2.34), libgcc-s1, libstdc++6 (>= 12), libqt6core6 (>= 6.4)")
set(APH_DEB_RUNTIME "${APH_DEB_BASE}, libqt6network6 (>= 6.4), libqt6sql6 (>= 6.4), \
libsqlite3-0, libssl3")
# The SQL drivers Qt loads at run time: the server always opens its
# database; the desktop only in a two-tier setup ("database" in its INI),
# since its lookups go through the server otherwise.
set(APH_DEB_SQL_DRIVERS "libqt6sql6-sqlite (>= 6.4), libqt6sql6-psql (>= 6.4)")
set(APH_DEB_COMMON "aph-common (= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_COMMON_PACKAGE_NAME aph-common)
set(CPACK_COMPONENT_COMMON_DESCRIPTION "Aprovação de Horas: biblioteca comum
A biblioteca de dados (libaph_data) que o aph-server e o aph-host usam.")
set(CPACK_DEBIAN_COMMON_PACKAGE_DEPENDS "${APH_DEB_BASE}")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME aph-server)
set(CPACK_COMPONENT_SERVER_DESCRIPTION "Aprovação de Horas: servidor de aplicação
O aph-server, seu serviço do systemd (usuário aph, banco em /var/lib/aph)
e a configuração padrão em /etc/aph/aph-server.conf.")
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS
  "${APH_DEB_COMMON}, ${APH_DEB_RUNTIME}, ${APH_DEB_SQL_DRIVERS}, libpq5, adduser")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/conffiles
  ${PROJECT_SOURCE_DIR}/packaging/postinst
  ${PROJECT_SOURCE_DIR}/packaging/prerm
  ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME aph-desktop)
set(CPACK_COMPONENT_DESKTOP_DESCRIPTION "Aprovação de Horas: aplicação desktop
O aph-host e o módulo Pkg_Aph31500 (Apuração de CHT), com o seu arquivo de
idioma e as bibliotecas do desktop.")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS
  "${APH_DEB_COMMON}, ${APH_DEB_RUNTIME}, libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), \
qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SUGGESTS "${APH_DEB_SQL_DRIVERS}")

include(CPack)
