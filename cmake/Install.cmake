# Installing: the program, its desktop entry and its icon under the prefix; a Debian package made
# by CPack from the same rules (scripts/package).
include(GNUInstallDirs)

# The bundle name (resources/BundleInfo.h.in): Qt's window class, so the entry names it too.
set(BRENVO_APP_NAME "Brenvo")
set(BRENVO_MAINTAINER "" CACHE STRING
  "Package maintainer, \"Name <address>\" (empty: the support address, or a placeholder)")
if(BRENVO_MAINTAINER STREQUAL "")
  if(BRENVO_SUPPORT_EMAIL STREQUAL "")
    set(BRENVO_MAINTAINER "Brenvo developers <developers@brenvo.invalid>")
  else()
    set(BRENVO_MAINTAINER "Brenvo developers <${BRENVO_SUPPORT_EMAIL}>")
  endif()
endif()

set(resources ${CMAKE_SOURCE_DIR}/resources)
set(out ${CMAKE_BINARY_DIR}/install)
configure_file(${resources}/brenvo.desktop.in ${CMAKE_BINARY_DIR}/${BRENVO_BUNDLE_ID}.desktop @ONLY)

# Menus ask for these sizes; they are drawn from the SVG, never kept as files of their own.
set(BRENVO_ICON_SIZES 16 22 24 32 48 64 128 256)
add_executable(brenvo_render_icon ${resources}/render-icon.cpp)
target_link_libraries(brenvo_render_icon PRIVATE Qt6::Gui Qt6::Svg)
set(pngs)
foreach(size ${BRENVO_ICON_SIZES})
  list(APPEND pngs ${out}/icons/${size}.png)
endforeach()
add_custom_command(OUTPUT ${pngs}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${out}/icons
  COMMAND brenvo_render_icon ${resources}/brenvo.svg ${out}/icons ${BRENVO_ICON_SIZES}
  DEPENDS brenvo_render_icon ${resources}/brenvo.svg
  COMMENT "Drawing the icon's PNG sizes")

# A Debian changelog, compressed the way Debian wants it (-n: no name or time stamp inside).
string(TIMESTAMP BRENVO_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${resources}/changelog.in ${out}/doc/changelog @ONLY)
configure_file(${resources}/brenvo.1 ${out}/doc/brenvo.1 @ONLY)
add_custom_command(OUTPUT ${out}/doc/changelog.gz ${out}/doc/brenvo.1.gz
  COMMAND gzip -9nkf ${out}/doc/changelog ${out}/doc/brenvo.1
  DEPENDS ${out}/doc/changelog ${out}/doc/brenvo.1)
add_custom_target(brenvo_install_files ALL DEPENDS ${pngs} ${out}/doc/changelog.gz ${out}/doc/brenvo.1.gz)

install(TARGETS brenvo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_BINARY_DIR}/${BRENVO_BUNDLE_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
set(hicolor ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${resources}/brenvo.svg DESTINATION ${hicolor}/scalable/apps
  RENAME ${BRENVO_BUNDLE_ID}.svg)
foreach(size ${BRENVO_ICON_SIZES})
  install(FILES ${out}/icons/${size}.png DESTINATION ${hicolor}/${size}x${size}/apps
    RENAME ${BRENVO_BUNDLE_ID}.png)
endforeach()
install(FILES ${resources}/copyright ${out}/doc/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brenvo)
install(FILES ${out}/doc/brenvo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brenvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${BRENVO_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service status on the edge of the screen")
set(CPACK_PACKAGE_DESCRIPTION "A strip of tiles on the edge of the screen that keeps running services in\n\
view: deployments on Vercel and Cloudflare, checks on GitHub and GitLab,\n\
payments on Stripe and Polar, and usage limits of Claude and Codex.\n\
Pointing at a tile slides out its card.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its X11 platform plugin at run time, where shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
if(NOT BRENVO_SITE_HOST STREQUAL "")
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://${BRENVO_SITE_HOST}${BRENVO_SITE_PATH}")
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
  GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
